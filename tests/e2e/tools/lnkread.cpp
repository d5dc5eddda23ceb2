// Reads a shortcut file through IShellLinkA, as the shell would, and prints what it holds, one
// "field<TAB>value" line each (UTF-8): path, arguments, folder, description, icon, show, hotkey.
// Exit code 1 when the file cannot be loaded as a shortcut, 2 without an argument.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const char *ansi) {
    int wide = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    std::wstring text(wide > 0 ? wide : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, &text[0], wide);
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], size, nullptr, nullptr);
    return out.c_str();
}

void Print(const char *field, const char *ansi) {
    std::printf("%s\t%s\n", field, Utf8(ansi).c_str());
}

int Read(const wchar_t *file) {
    IShellLinkA *link = nullptr;
    IPersistFile *persist = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void **>(&link))))
        return 1;
    int code = 1;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&persist))) &&
        SUCCEEDED(persist->Load(file, STGM_READ))) {
        char text[2048] = "";
        link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
        Print("path", text);
        text[0] = '\0';
        link->GetArguments(text, sizeof text);
        Print("arguments", text);
        text[0] = '\0';
        link->GetWorkingDirectory(text, sizeof text);
        Print("folder", text);
        text[0] = '\0';
        link->GetDescription(text, sizeof text);
        Print("description", text);
        int index = 0;
        text[0] = '\0';
        link->GetIconLocation(text, sizeof text, &index);
        Print("icon", text);
        int show = -1;
        link->GetShowCmd(&show);
        std::printf("show\t%d\n", show);
        WORD hotKey = 0;
        link->GetHotkey(&hotKey);
        std::printf("hotkey\t%u\n", unsigned(hotKey));
        code = 0;
    }
    if (persist) persist->Release();
    link->Release();
    return code;
}

} // namespace

int main() {
    int count = 0;
    wchar_t **args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args || count < 2) {
        std::fprintf(stderr, "usage: lnkread FILE.lnk\n");
        return 2;
    }
    CoInitialize(nullptr);
    int code = Read(args[1]);
    CoUninitialize();
    LocalFree(args);
    return code;
}
