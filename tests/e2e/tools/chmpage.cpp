// A console tool for the help test: reads one page of a compiled help file through the system's
// help storage, the reader behind the viewer's "mk:@MSITStore:FILE::/PAGE" addresses, and writes
// its bytes to stdout unchanged:
//
//   chmpage "C:\Program Files\Tidewell\KORVANE.CHM" /_RESOURCE/HLP000015.html
//
// Exit code 0, or 1 with the step that failed and its HRESULT on stderr.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>

namespace {

// The help storage's moniker parser (itss: "MSITStore").
const CLSID kMsItStore = {0x9d148290, 0xb9c8, 0x11d0, {0xa4, 0xcc, 0x00, 0x00, 0xf8, 0x01, 0x49, 0xf6}};

std::wstring Wide(const char *text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring out(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], n);
    out.resize(out.size() - 1);
    return out;
}

int Fail(const char *step, HRESULT result) {
    std::fprintf(stderr, "chmpage: %s: 0x%08lX\n", step, static_cast<unsigned long>(result));
    return 1;
}

int CopyPage(const std::wstring &name) {
    IParseDisplayName *parser = nullptr;
    HRESULT result = CoCreateInstance(kMsItStore, nullptr, CLSCTX_INPROC_SERVER, IID_IParseDisplayName,
                                      reinterpret_cast<void **>(&parser));
    if (FAILED(result)) return Fail("no help storage", result);
    IBindCtx *context = nullptr;
    IMoniker *moniker = nullptr;
    IStream *stream = nullptr;
    ULONG eaten = 0;
    result = CreateBindCtx(0, &context);
    if (SUCCEEDED(result)) result = parser->ParseDisplayName(context, const_cast<wchar_t *>(name.c_str()), &eaten, &moniker);
    if (SUCCEEDED(result)) result = moniker->BindToStorage(context, nullptr, IID_IStream, reinterpret_cast<void **>(&stream));
    int code = 0;
    if (SUCCEEDED(result)) {
        char buffer[4096];
        ULONG read = 0;
        while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &read)) && read > 0)
            std::fwrite(buffer, 1, read, stdout);
        stream->Release();
    } else {
        code = Fail("cannot open the page", result);
    }
    if (moniker) moniker->Release();
    if (context) context->Release();
    parser->Release();
    return code;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: chmpage FILE PAGE\n");
        return 2;
    }
    _setmode(_fileno(stdout), _O_BINARY);
    CoInitialize(nullptr);
    int code = CopyPage(L"@MSITStore:" + Wide(argv[1]) + L"::" + Wide(argv[2]));
    CoUninitialize();
    return code;
}
