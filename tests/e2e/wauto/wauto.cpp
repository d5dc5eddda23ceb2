// wauto: drives the windows of other programs for the end-to-end tests.
//
// One call runs several steps, separated by a lone ";" argument, because every start of a Wine
// process costs a noticeable fraction of a second:
//
//   wauto wait --class "#32770" --title "Error" ; list ; text --id 65535 ; click --text OK
//
// Output is UTF-8 whatever the ANSI code page, one record per line, fields separated by tabs;
// a backslash, tab, CR or LF inside a field is written as \\, \t, \r or \n. A failing step prints
// one line on stderr and ends the program with an exit code that tells the kind of failure; the
// steps after it do not run.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cerrno>
#include <cwchar>
#include <cwctype>
#include <string>
#include <utility>
#include <vector>

namespace {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitTimeout = 3, kExitNoWindow = 4, kExitNoControl = 5 };

// How long a step that waits for a text or a state waits unless --timeout says otherwise.
const DWORD kStateTimeout = 5000;

const wchar_t kUsage[] =
    L"usage: wauto STEP [; STEP]...\n"
    L"window steps (FILTER: --class C --title T --title-has S --exe NAME --pid N --hwnd H --hidden):\n"
    L"  wait FILTER [--timeout S]        wait for a top-level window; it becomes the current window\n"
    L"  closed [FILTER] [--timeout S]    wait until the current window (or every match) is gone;\n"
    L"                                   hidden counts as gone unless --hidden\n"
    L"  windows [FILTER]                 list top-level windows\n"
    L"control steps on the current window (CONTROL: --id N --text T --class C --nth K):\n"
    L"  list                             list the controls\n"
    L"  text [CONTROL]                   text of the window or a control\n"
    L"  expect [CONTROL] (--value T | --has S) [--timeout S]   wait for a text\n"
    L"  settext CONTROL TEXT             set a control's text\n"
    L"  click CONTROL [--command]        press a button (BM_CLICK, or WM_COMMAND to the parent)\n"
    L"  check CONTROL [--state 0|1|2] | uncheck CONTROL\n"
    L"  checked CONTROL [--state 0|1|2] [--timeout S]   a box's check state; with --state, wait for it\n"
    L"  enabled CONTROL [--state 0|1] [--timeout S]     whether a control is enabled; with --state, wait for it\n"
    L"  select CONTROL (--item TEXT | --item-index N)   choose a combo box or list box entry\n"
    L"  items CONTROL                    list a combo box's or list box's entries\n"
    L"  keys [CONTROL] [--input] KEYS... type text; {Enter} {Esc} {Tab} {Alt+A} {Ctrl+Shift+F1} {{\n"
    L"  rect [--expect \"L T R B V\"] [--timeout S]   the current window's screen rectangle and visibility;\n"
    L"                                   with --expect, wait for it (* matches any field, V is visible or hidden)\n"
    L"  mouse [X Y]                      a left click at client point X Y of the current window\n"
    L"  cursor                           whether the mouse cursor is showing\n"
    L"  focus [--id N] [--timeout S]     the control of the current window that has the keyboard focus;\n"
    L"                                   with --id, wait for it to be that control\n"
    L"  menu ID                          choose an item of the current window's menu (WM_COMMAND)\n"
    L"  lvitems CONTROL                  a list view's items: index, check box (1, 0, or - without boxes),\n"
    L"                                   selected or -, then the text of each column\n"
    L"  lvcheck CONTROL (--item TEXT | --item-index N) [--state 0|1]   tick (or clear) a list view\n"
    L"                                   item's check box, as a click on it would; waits for the state\n"
    L"  context [CONTROL] [--keyboard]   ask for the right-click menu (WM_CONTEXTMENU) of a control or the\n"
    L"                                   window: at its centre, or with --keyboard as Shift+F10 asks\n"
    L"  popup [--item TEXT | --item-index N | --close] [--timeout S]   wait for an open popup menu\n"
    L"                                   (class #32768) of the current window's program; choose the item\n"
    L"                                   whose label has TEXT's & mnemonic (\"Select &all\": a), or item N\n"
    L"                                   (from 0, separators not counted) with Down and Enter, or close\n"
    L"                                   it with Esc; then wait for the menu to close\n"
    L"  post --message N [--wparam N] [--lparam N] [CONTROL]   post a message to a control or the window\n"
    L"  drop [CONTROL] PATH...           drop files on a control or the window, as Explorer does\n"
    L"  sleep MS\n"
    L"steps that wait for a state give up after --timeout seconds (default 5) with exit code 3\n"
    L"a lone \"--\" ends a step's options, for texts that begin with \"--\"\n"
    L"exit codes: 0 ok, 1 step failed, 2 usage, 3 time-out, 4 no window, 5 no control\n";

// ---- Output -----------------------------------------------------------------------------------

std::string Utf8(const std::wstring &text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

void Write(DWORD which, const std::wstring &text) {
    HANDLE handle = GetStdHandle(which);
    DWORD mode, written;
    // A console shows UTF-16 as it is; pipes and files (the tests) get UTF-8 bytes.
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), DWORD(text.size()), &written, nullptr);
        return;
    }
    std::string bytes = Utf8(text);
    WriteFile(handle, bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

std::wstring Escape(const std::wstring &field) {
    static const wchar_t kSpecial[] = L"\\\t\r\n", kLetter[] = L"\\trn";
    std::wstring out;
    for (wchar_t c : field) {
        const wchar_t *special = c ? std::wcschr(kSpecial, c) : nullptr;
        if (special)
            out += {L'\\', kLetter[special - kSpecial]};
        else
            out += c;
    }
    return out;
}

void Record(std::initializer_list<std::wstring> fields) {
    std::wstring line;
    for (const std::wstring &field : fields)
        line += (line.empty() ? L"" : L"\t") + Escape(field);
    Write(STD_OUTPUT_HANDLE, line + L"\n");
}

// "step 2 (click): " while a step runs, so that a failure says which one.
std::wstring gStepPrefix;

// With WAUTO_JOURNAL naming a file, wauto appends a line when it starts, before each step and when
// it ends, so that a caller that sees it end without a word can tell how far it came.
void Journal(const std::wstring &line) {
    wchar_t path[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"WAUTO_JOURNAL", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::string bytes = Utf8(line + L"\n");
    DWORD written;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

int Fail(int code, const std::wstring &message) {
    Write(STD_ERROR_HANDLE, L"wauto: " + gStepPrefix + message + L"\n");
    return code;
}

std::wstring Hex(HWND window) {
    wchar_t text[32];
    swprintf(text, 32, L"0x%llX", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(window)));
    return text;
}

std::wstring Quoted(const std::wstring &text) {
    return L"\"" + text + L"\"";
}

std::vector<std::wstring> Words(const std::wstring &text) {
    std::vector<std::wstring> words;
    size_t start = 0;
    while ((start = text.find_first_not_of(L' ', start)) != std::wstring::npos) {
        size_t end = text.find(L' ', start);
        words.push_back(text.substr(start, end == std::wstring::npos ? end : end - start));
        start = end;
    }
    return words;
}

// ---- Steps as given ---------------------------------------------------------------------------

struct Step {
    int number = 0;
    std::wstring verb;
    std::vector<std::pair<std::wstring, std::wstring>> options; // name without "--", value ("" for flags)
    std::vector<std::wstring> args;

    const std::wstring *Option(const wchar_t *name) const {
        for (const auto &option : options)
            if (option.first == name) return &option.second;
        return nullptr;
    }
    bool Has(const wchar_t *name) const { return Option(name) != nullptr; }
};

const wchar_t kFlags[] = L" hidden input command keyboard close ";
const wchar_t kIntegerOptions[] = L" pid hwnd id nth item-index state message wparam lparam ";

bool InList(const wchar_t *list, const std::wstring &name) {
    return std::wcsstr(list, (L" " + name + L" ").c_str()) != nullptr;
}

bool ParseInteger(const std::wstring &text, long long *value) {
    if (text.empty()) return false;
    bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    wchar_t *end = nullptr;
    errno = 0;
    *value = std::wcstoll(text.c_str(), &end, hex ? 16 : 10);
    return errno == 0 && *end == L'\0';
}

long long IntegerOption(const Step &step, const wchar_t *name, long long fallback) {
    long long value = fallback;
    if (const std::wstring *text = step.Option(name)) ParseInteger(*text, &value);
    return value;
}

bool ParseSeconds(const std::wstring &text, DWORD *milliseconds) {
    wchar_t *end = nullptr;
    double seconds = std::wcstod(text.c_str(), &end);
    if (text.empty() || *end != L'\0' || !(seconds >= 0 && seconds <= 3600)) return false;
    *milliseconds = DWORD(seconds * 1000 + 0.5);
    return true;
}

DWORD TimeoutOf(const Step &step, DWORD fallback) {
    DWORD milliseconds = fallback;
    if (const std::wstring *text = step.Option(L"timeout")) ParseSeconds(*text, &milliseconds);
    return milliseconds;
}

// What is left of a step's time-out that began at start.
DWORD TimeLeft(DWORD start, DWORD timeout) {
    DWORD elapsed = GetTickCount() - start;
    return elapsed < timeout ? timeout - elapsed : 0;
}

std::wstring Seconds(DWORD milliseconds) {
    wchar_t text[32];
    swprintf(text, 32, L"%g s", milliseconds / 1000.0);
    return text;
}

// Splits the arguments into steps at each lone ";" and sorts each step's options from its plain
// arguments ("--" ends the options of a step, for texts that begin with "--"). Checks only the
// form; the verb table checks the rest.
int SplitSteps(const std::vector<std::wstring> &argv, std::vector<Step> *steps) {
    steps->emplace_back();
    bool optionsEnded = false;
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::wstring &arg = argv[i];
        Step &step = steps->back();
        if (arg == L";") {
            if (step.verb.empty()) return Fail(kExitUsage, L"empty step before \";\"");
            steps->emplace_back();
            optionsEnded = false;
        } else if (step.verb.empty()) {
            step.verb = arg;
            step.number = int(steps->size());
        } else if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, L"--") != 0) {
            step.args.push_back(arg);
        } else if (arg == L"--") {
            optionsEnded = true;
        } else {
            std::wstring name = arg.substr(2);
            if (step.Has(name.c_str())) return Fail(kExitUsage, step.verb + L": " + arg + L" given twice");
            if (InList(kFlags, name)) {
                step.options.emplace_back(name, L"");
            } else if (i + 1 == argv.size() || argv[i + 1] == L";") {
                return Fail(kExitUsage, step.verb + L": " + arg + L" needs a value");
            } else {
                step.options.emplace_back(name, argv[++i]);
            }
        }
    }
    if (steps->back().verb.empty()) return Fail(kExitUsage, L"no step after the last \";\"");
    return kExitOk;
}

// ---- Windows and controls ---------------------------------------------------------------------

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    return name;
}

std::wstring TitleOf(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(length + 1, L'\0');
    text.resize(GetWindowTextW(window, &text[0], length + 1));
    return text;
}

// A control's text through WM_GETTEXT (GetWindowText would not ask a control of another process),
// with a time-out so that a hung program cannot hang the tests.
bool ControlText(HWND control, std::wstring *text) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 3000, &length)) return false;
    std::wstring buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&buffer[0]), SMTO_ABORTIFHUNG,
                             3000, &copied))
        return false;
    buffer.resize(copied <= length ? copied : length);
    *text = buffer;
    return true;
}

bool Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT *result) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 3000, &answer)) return false;
    *result = LRESULT(answer);
    return true;
}

// Vista's; the automation runs on Wine only, which has it, while the XP headers do not declare it.
extern "C" __declspec(dllimport) BOOL WINAPI QueryFullProcessImageNameW(HANDLE, DWORD, LPWSTR, PDWORD);

std::wstring ExeOf(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) return L"";
    wchar_t path[MAX_PATH] = L"";
    DWORD size = MAX_PATH;
    if (!QueryFullProcessImageNameW(process, 0, path, &size)) size = 0;
    CloseHandle(process);
    std::wstring full(path, size);
    size_t slash = full.find_last_of(L"\\/");
    return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

DWORD ProcessOf(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

void PrintWindow(HWND window) {
    DWORD processId = ProcessOf(window);
    Record({L"window", Hex(window), ClassOf(window), TitleOf(window), IsWindowVisible(window) ? L"visible" : L"hidden",
            std::to_wstring(processId), ExeOf(processId)});
}

struct WindowFilter {
    const std::wstring *className = nullptr;
    const std::wstring *title = nullptr;
    const std::wstring *titleHas = nullptr;
    const std::wstring *exe = nullptr;
    long long processId = -1;
    long long handle = -1;
    bool hidden = false;

    bool Empty() const { return !className && !title && !titleHas && !exe && processId < 0 && handle < 0; }
};

WindowFilter FilterOf(const Step &step) {
    WindowFilter filter;
    filter.className = step.Option(L"class");
    filter.title = step.Option(L"title");
    filter.titleHas = step.Option(L"title-has");
    filter.exe = step.Option(L"exe");
    filter.processId = IntegerOption(step, L"pid", -1);
    filter.handle = IntegerOption(step, L"hwnd", -1);
    filter.hidden = step.Has(L"hidden");
    return filter;
}

std::wstring Describe(const WindowFilter &filter) {
    std::wstring text;
    auto add = [&text](const std::wstring &part) { text += (text.empty() ? L"" : L", ") + part; };
    if (filter.className) add(L"class " + Quoted(*filter.className));
    if (filter.title) add(L"title " + Quoted(*filter.title));
    if (filter.titleHas) add(L"title containing " + Quoted(*filter.titleHas));
    if (filter.exe) add(L"program " + *filter.exe);
    if (filter.processId >= 0) add(L"process " + std::to_wstring(filter.processId));
    if (filter.handle >= 0) add(L"handle " + Hex(reinterpret_cast<HWND>(filter.handle)));
    return text.empty() ? L"any window" : text;
}

bool Matches(HWND window, const WindowFilter &filter) {
    if (!filter.hidden && !IsWindowVisible(window)) return false;
    if (filter.handle >= 0 && reinterpret_cast<HWND>(filter.handle) != window) return false;
    if (filter.className && _wcsicmp(ClassOf(window).c_str(), filter.className->c_str()) != 0) return false;
    if (filter.title && TitleOf(window) != *filter.title) return false;
    if (filter.titleHas && TitleOf(window).find(*filter.titleHas) == std::wstring::npos) return false;
    if (filter.processId >= 0 && ProcessOf(window) != DWORD(filter.processId)) return false;
    if (filter.exe && _wcsicmp(ExeOf(ProcessOf(window)).c_str(), filter.exe->c_str()) != 0) return false;
    return true;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND> *>(list)->push_back(window);
    return TRUE;
}

// Top-level windows from the top of the z-order down.
std::vector<HWND> FindWindows(const WindowFilter &filter) {
    std::vector<HWND> all, found;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
    for (HWND window : all)
        if (Matches(window, filter)) found.push_back(window);
    return found;
}

std::vector<HWND> ControlsOf(HWND window) {
    std::vector<HWND> controls;
    EnumChildWindows(window, CollectWindow, reinterpret_cast<LPARAM>(&controls));
    return controls;
}

// Calls done() every 50 ms until it says yes or the time is up; asks once more at the end.
template <typename Done> bool PollUntil(DWORD timeout, Done done) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeout) return false;
        Sleep(timeout - elapsed < 50 ? timeout - elapsed : 50);
    }
}

// "&Apply" is what the resource says, "Apply" what the user reads; both match.
bool SameLabel(const std::wstring &text, const std::wstring &wanted) {
    if (text == wanted) return true;
    std::wstring plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) ++i;
        plain += text[i];
    }
    return plain == wanted;
}

struct Session {
    HWND window = nullptr;
};

int NeedWindow(const Session &session) {
    if (!session.window) return Fail(kExitNoWindow, L"no current window: begin with a wait step");
    if (!IsWindow(session.window)) return Fail(kExitNoWindow, L"window " + Hex(session.window) + L" has closed");
    return kExitOk;
}

std::wstring DescribeControl(const Step &step) {
    std::wstring text;
    if (const std::wstring *id = step.Option(L"id")) text += L" id " + *id;
    if (const std::wstring *label = step.Option(L"text")) text += L" text " + Quoted(*label);
    if (const std::wstring *className = step.Option(L"class")) text += L" class " + Quoted(*className);
    if (const std::wstring *nth = step.Option(L"nth")) text += L" number " + *nth;
    return L"control with" + text;
}

bool ControlMatches(HWND control, const Step &step) {
    long long id;
    if (const std::wstring *text = step.Option(L"id"); text && ParseInteger(*text, &id))
        // Dialog ids are 16 bits (WM_COMMAND carries the low word), so 65535 and -1 are one id.
        if (LOWORD(GetDlgCtrlID(control)) != LOWORD(id)) return false;
    if (const std::wstring *className = step.Option(L"class"))
        if (_wcsicmp(ClassOf(control).c_str(), className->c_str()) != 0) return false;
    if (const std::wstring *label = step.Option(L"text")) {
        std::wstring text;
        if (!ControlText(control, &text) || !SameLabel(text, *label)) return false;
    }
    return true;
}

// The control the step names: with --nth the nth match (from 1), otherwise the first visible match,
// so that the shown page of a property sheet wins over hidden pages with the same ids.
HWND PickControl(HWND window, const Step &step) {
    std::vector<HWND> matches;
    for (HWND control : ControlsOf(window))
        if (ControlMatches(control, step)) matches.push_back(control);
    long long nth = IntegerOption(step, L"nth", 0);
    if (nth > 0) return nth <= static_cast<long long>(matches.size()) ? matches[size_t(nth - 1)] : nullptr;
    for (HWND control : matches)
        if (IsWindowVisible(control)) return control;
    return matches.empty() ? nullptr : matches[0];
}

// Controls may appear a moment after their window (a property page is made when first shown).
int FindControl(const Session &session, const Step &step, DWORD timeout, HWND *control) {
    if (int code = NeedWindow(session)) return code;
    *control = nullptr;
    PollUntil(timeout, [&] { return (*control = PickControl(session.window, step)) != nullptr; });
    if (*control) return kExitOk;
    return Fail(kExitNoControl, L"no " + DescribeControl(step) + L" in window " + Hex(session.window) + L" " +
                                    Quoted(TitleOf(session.window)));
}

// ---- Keys -------------------------------------------------------------------------------------

struct KeyStroke {
    wchar_t ch = 0; // a character to type, or the character of a {Alt+x} combination
    WORD vk = 0;    // a named key or combination; 0 for plain text
    bool ctrl = false, alt = false, shift = false;
};

struct NamedKey {
    const wchar_t *name;
    WORD vk;
};

const NamedKey kNamedKeys[] = {
    {L"Enter", VK_RETURN}, {L"Return", VK_RETURN}, {L"Esc", VK_ESCAPE},     {L"Escape", VK_ESCAPE},
    {L"Tab", VK_TAB},      {L"Space", VK_SPACE},   {L"Backspace", VK_BACK}, {L"Delete", VK_DELETE},
    {L"Del", VK_DELETE},   {L"Insert", VK_INSERT}, {L"Home", VK_HOME},      {L"End", VK_END},
    {L"PgUp", VK_PRIOR},   {L"PgDn", VK_NEXT},     {L"Up", VK_UP},          {L"Down", VK_DOWN},
    {L"Left", VK_LEFT},    {L"Right", VK_RIGHT},
};

bool KeyOfName(const std::wstring &name, KeyStroke *key) {
    for (const NamedKey &named : kNamedKeys)
        if (_wcsicmp(named.name, name.c_str()) == 0) return (key->vk = named.vk), true;
    long long number;
    if ((name[0] == L'F' || name[0] == L'f') && ParseInteger(name.substr(1), &number) && number >= 1 && number <= 12)
        return (key->vk = WORD(VK_F1 + number - 1)), true;
    if (name.size() != 1) return false;
    key->ch = wchar_t(std::towlower(name[0]));
    SHORT scan = VkKeyScanW(key->ch);
    key->vk = scan == -1 ? 0 : LOBYTE(scan);
    return key->vk != 0;
}

// "{Ctrl+Shift+Tab}" without its braces.
bool ParseCombination(const std::wstring &text, KeyStroke *key) {
    size_t start = 0;
    for (size_t plus; (plus = text.find(L'+', start)) != std::wstring::npos && plus + 1 < text.size();
         start = plus + 1) {
        std::wstring modifier = text.substr(start, plus - start);
        if (_wcsicmp(modifier.c_str(), L"Ctrl") == 0)
            key->ctrl = true;
        else if (_wcsicmp(modifier.c_str(), L"Alt") == 0)
            key->alt = true;
        else if (_wcsicmp(modifier.c_str(), L"Shift") == 0)
            key->shift = true;
        else
            return false;
    }
    return start < text.size() && KeyOfName(text.substr(start), key);
}

// Text with {Name} for keys and combinations and {{ for a brace.
bool ParseKeys(const std::wstring &text, std::vector<KeyStroke> *keys, std::wstring *error) {
    for (size_t i = 0; i < text.size(); ++i) {
        KeyStroke key;
        if (text[i] != L'{' || (i + 1 < text.size() && text[i + 1] == L'{')) {
            key.ch = text[i];
            i += text[i] == L'{';
        } else {
            size_t close = text.find(L'}', i);
            if (close == std::wstring::npos) return (*error = L"no } after " + Quoted(text.substr(i))), false;
            std::wstring name = text.substr(i + 1, close - i - 1);
            if (name.empty() || !ParseCombination(name, &key)) return (*error = L"unknown key {" + name + L"}"), false;
            i = close;
        }
        keys->push_back(key);
    }
    return true;
}

LPARAM KeyData(WORD vk, bool up, bool alt) {
    LPARAM data = 1 | LPARAM(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) & 0xFF) << 16;
    if (alt) data |= LPARAM(1) << 29;
    if (up) data |= LPARAM(3) << 30;
    return data;
}

// Posted messages reach a window whether or not it has the focus; the target's own message loop
// turns them into what a keyboard would have caused (IsDialogMessage for Enter, Esc and
// mnemonics). Key states cannot be faked this way, hence no Ctrl or Shift.
void PostKeys(HWND window, HWND target, const std::vector<KeyStroke> &keys) {
    for (const KeyStroke &key : keys) {
        if (!key.vk) {
            PostMessageW(target, WM_CHAR, key.ch, 1);
        } else if (key.alt && key.ch) {
            PostMessageW(target, WM_SYSCHAR, key.ch, KeyData(key.vk, false, true));
        } else if (key.alt) {
            PostMessageW(window, WM_SYSKEYDOWN, key.vk, KeyData(key.vk, false, true));
            PostMessageW(window, WM_SYSKEYUP, key.vk, KeyData(key.vk, true, true));
        } else {
            PostMessageW(target, WM_KEYDOWN, key.vk, KeyData(key.vk, false, false));
            PostMessageW(target, WM_KEYUP, key.vk, KeyData(key.vk, true, false));
        }
    }
}

void AddInput(std::vector<INPUT> *inputs, WORD vk, wchar_t ch, DWORD flags) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = ch;
    input.ki.dwFlags = flags;
    inputs->push_back(input);
}

bool IsExtendedKey(WORD vk) {
    return (vk >= VK_PRIOR && vk <= VK_DOWN) || vk == VK_INSERT || vk == VK_DELETE;
}

std::vector<INPUT> InputsOf(const std::vector<KeyStroke> &keys) {
    std::vector<INPUT> inputs;
    for (const KeyStroke &key : keys) {
        if (!key.vk) {
            AddInput(&inputs, 0, key.ch, KEYEVENTF_UNICODE);
            AddInput(&inputs, 0, key.ch, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP);
            continue;
        }
        const WORD modifiers[] = {WORD(key.ctrl ? VK_CONTROL : 0), WORD(key.alt ? VK_MENU : 0),
                                  WORD(key.shift ? VK_SHIFT : 0)};
        for (WORD modifier : modifiers)
            if (modifier) AddInput(&inputs, modifier, 0, 0);
        DWORD extended = IsExtendedKey(key.vk) ? KEYEVENTF_EXTENDEDKEY : 0;
        AddInput(&inputs, key.vk, 0, extended);
        AddInput(&inputs, key.vk, 0, extended | KEYEVENTF_KEYUP);
        for (int i = 2; i >= 0; --i)
            if (modifiers[i]) AddInput(&inputs, modifiers[i], 0, KEYEVENTF_KEYUP);
    }
    return inputs;
}

// Real keyboard input goes to the foreground window, so the window is brought there first.
int SendKeys(HWND window, const std::vector<KeyStroke> &keys) {
    if (!PollUntil(2000, [&] { return SetForegroundWindow(window), GetForegroundWindow() == window; }))
        return Fail(kExitFailed, L"window " + Hex(window) + L" did not come to the foreground");
    std::vector<INPUT> inputs = InputsOf(keys);
    if (SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size())
        return Fail(kExitFailed, L"SendInput failed, error " + std::to_wstring(GetLastError()));
    return kExitOk;
}

bool ParseAllKeys(const Step &step, std::vector<KeyStroke> *keys, std::wstring *error) {
    for (const std::wstring &arg : step.args)
        if (!ParseKeys(arg, keys, error)) return false;
    if (!step.Has(L"input"))
        for (const KeyStroke &key : *keys)
            if (key.ctrl || key.shift) return (*error = L"Ctrl and Shift combinations need --input"), false;
    return true;
}

// ---- The steps --------------------------------------------------------------------------------

int RunWait(const Step &step, Session &session) {
    WindowFilter filter = FilterOf(step);
    DWORD timeout = TimeoutOf(step, 10000);
    HWND found = nullptr;
    PollUntil(timeout, [&] {
        std::vector<HWND> windows = FindWindows(filter);
        return (found = windows.empty() ? nullptr : windows[0]) != nullptr;
    });
    if (!found) return Fail(kExitTimeout, L"no window with " + Describe(filter) + L" within " + Seconds(timeout));
    session.window = found;
    PrintWindow(found);
    return kExitOk;
}

int RunClosed(const Step &step, Session &session) {
    WindowFilter filter = FilterOf(step);
    DWORD timeout = TimeoutOf(step, 10000);
    if (!filter.Empty()) {
        if (PollUntil(timeout, [&] { return FindWindows(filter).empty(); })) return kExitOk;
        return Fail(kExitTimeout, L"a window with " + Describe(filter) + L" is still open after " + Seconds(timeout));
    }
    if (!session.window) return Fail(kExitNoWindow, L"no current window: begin with a wait step");
    // Gone from the screen is closed: a program may take a while to end after hiding its window.
    if (!PollUntil(timeout,
                   [&] { return !IsWindow(session.window) || (!filter.hidden && !IsWindowVisible(session.window)); }))
        return Fail(kExitTimeout, L"window " + Hex(session.window) + L" " + Quoted(TitleOf(session.window)) +
                                      L" is still open after " + Seconds(timeout));
    session.window = nullptr;
    return kExitOk;
}

int RunWindows(const Step &step, Session &) {
    for (HWND window : FindWindows(FilterOf(step)))
        PrintWindow(window);
    return kExitOk;
}

int RunList(const Step &, Session &session) {
    if (int code = NeedWindow(session)) return code;
    for (HWND control : ControlsOf(session.window)) {
        std::wstring text;
        ControlText(control, &text);
        Record({L"control", Hex(control), std::to_wstring(GetDlgCtrlID(control)), ClassOf(control), text,
                IsWindowVisible(control) ? L"visible" : L"hidden",
                IsWindowEnabled(control) ? L"enabled" : L"disabled"});
    }
    return kExitOk;
}

bool NamesControl(const Step &step) {
    return step.Has(L"id") || step.Has(L"text") || step.Has(L"class");
}

int RunText(const Step &step, Session &session) {
    if (!NamesControl(step)) {
        if (int code = NeedWindow(session)) return code;
        Record({L"text", TitleOf(session.window)});
        return kExitOk;
    }
    HWND control;
    if (int code = FindControl(session, step, TimeoutOf(step, 2000), &control)) return code;
    std::wstring text;
    if (!ControlText(control, &text)) return Fail(kExitFailed, L"control " + Hex(control) + L" does not answer");
    Record({L"text", text});
    return kExitOk;
}

// Left, top, right, bottom and visibility: the fields of a rect record and of rect --expect.
const size_t kRectFields = 5;

std::vector<std::wstring> RectFields(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return {std::to_wstring(rect.left), std::to_wstring(rect.top), std::to_wstring(rect.right),
            std::to_wstring(rect.bottom), IsWindowVisible(window) ? L"visible" : L"hidden"};
}

bool ValidRectPattern(const std::wstring &pattern) {
    std::vector<std::wstring> wanted = Words(pattern);
    long long number;
    for (size_t i = 0; i < wanted.size(); ++i)
        if (wanted[i] != L"*" && (i + 1 < kRectFields ? !ParseInteger(wanted[i], &number)
                                                      : wanted[i] != L"visible" && wanted[i] != L"hidden"))
            return false;
    return !wanted.empty() && wanted.size() <= kRectFields;
}

// Fields left out at the end match anything, as * does; numbers match by value.
bool RectMatches(const std::vector<std::wstring> &fields, const std::vector<std::wstring> &wanted) {
    for (size_t i = 0; i < wanted.size() && i < fields.size(); ++i) {
        long long have, want;
        if (wanted[i] == L"*" || wanted[i] == fields[i]) continue;
        if (!ParseInteger(fields[i], &have) || !ParseInteger(wanted[i], &want) || have != want) return false;
    }
    return true;
}

// A window that is moved, sized, shown or hidden by another thread gets there in its own time:
// with --expect the step waits for it.
int RunRect(const Step &step, Session &session) {
    if (int code = NeedWindow(session)) return code;
    const std::wstring *expected = step.Option(L"expect");
    std::vector<std::wstring> wanted = expected ? Words(*expected) : std::vector<std::wstring>();
    DWORD timeout = TimeoutOf(step, kStateTimeout);
    std::vector<std::wstring> fields;
    bool reached = PollUntil(expected ? timeout : 0, [&] {
        fields = RectFields(session.window);
        return RectMatches(fields, wanted);
    });
    if (!reached) {
        std::wstring seen;
        for (const std::wstring &field : fields)
            seen += (seen.empty() ? L"" : L" ") + field;
        return Fail(kExitTimeout, L"the rectangle is " + Quoted(seen) + L" after " + Seconds(timeout) + L", expected " +
                                      Quoted(*expected));
    }
    Record({L"rect", fields[0], fields[1], fields[2], fields[3], fields[4]});
    return kExitOk;
}

// Posted, as a user's click arrives; a click that opens a modal window does not block the step.
int RunMouse(const Step &step, Session &session) {
    if (int code = NeedWindow(session)) return code;
    int x = step.args.size() > 0 ? _wtoi(step.args[0].c_str()) : 1;
    int y = step.args.size() > 1 ? _wtoi(step.args[1].c_str()) : 1;
    LPARAM where = MAKELPARAM(x, y);
    PostMessageW(session.window, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(session.window, WM_LBUTTONUP, 0, where);
    return kExitOk;
}

int RunCursor(const Step &, Session &) {
    CURSORINFO info = {};
    info.cbSize = sizeof info;
    if (!GetCursorInfo(&info)) return Fail(kExitFailed, L"GetCursorInfo failed");
    Record({L"cursor", (info.flags & CURSOR_SHOWING) ? L"showing" : L"hidden"});
    return kExitOk;
}

int RunExpect(const Step &step, Session &session) {
    if (int code = NeedWindow(session)) return code;
    const std::wstring *value = step.Option(L"value");
    const std::wstring *part = step.Option(L"has");
    DWORD timeout = TimeoutOf(step, kStateTimeout);
    bool found = false;
    std::wstring text;
    bool matched = PollUntil(timeout, [&] {
        HWND control = NamesControl(step) ? PickControl(session.window, step) : session.window;
        found = control != nullptr;
        if (!found) return false;
        if (control == session.window)
            text = TitleOf(control);
        else if (!ControlText(control, &text))
            return false;
        return value ? text == *value : text.find(*part) != std::wstring::npos;
    });
    if (matched) return Record({L"text", text}), kExitOk;
    if (!found) return Fail(kExitNoControl, L"no " + DescribeControl(step) + L" within " + Seconds(timeout));
    return Fail(kExitTimeout, L"text is " + Quoted(text) + L" after " + Seconds(timeout) + L", expected " +
                                  (value ? Quoted(*value) : L"it to contain " + Quoted(*part)));
}

int RunSetText(const Step &step, Session &session) {
    HWND control;
    if (int code = FindControl(session, step, TimeoutOf(step, 2000), &control)) return code;
    LRESULT result;
    if (!Ask(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(step.args[0].c_str()), &result))
        return Fail(kExitFailed, L"control " + Hex(control) + L" does not answer WM_SETTEXT");
    if (result == FALSE || result == CB_ERR)
        return Fail(kExitFailed, L"control " + Hex(control) + L" refused the text");
    return kExitOk;
}

// Posted rather than sent: a click that opens a modal box would otherwise hold wauto until the
// box is closed.
int RunClick(const Step &step, Session &session) {
    HWND control;
    if (int code = FindControl(session, step, TimeoutOf(step, 2000), &control)) return code;
    if (!IsWindowEnabled(control)) return Fail(kExitFailed, L"control " + Hex(control) + L" is disabled");
    BOOL posted = step.Has(L"command")
                      ? PostMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
                                     reinterpret_cast<LPARAM>(control))
                      : PostMessageW(control, BM_CLICK, 0, 0);
    if (!posted) return Fail(kExitFailed, L"cannot post to control " + Hex(control));
    return kExitOk;
}

// A state of a control that checked and enabled read, and wait for with --state.
struct ControlState {
    const wchar_t *record; // the kind of record the step writes
    const wchar_t *name;   // what a failure calls it
    bool (*read)(HWND control, LRESULT *state);
};

const ControlState kCheckState = {L"check", L"check state",
                                  [](HWND control, LRESULT *state) { return Ask(control, BM_GETCHECK, 0, 0, state); }};
const ControlState kEnabledState = {L"enabled", L"enabled state", [](HWND control, LRESULT *state) {
                                        *state = IsWindowEnabled(control) ? 1 : 0;
                                        return true;
                                    }};

// Reads the state once, or with --state waits for it; the time-out covers finding the control too.
int RunControlState(const Step &step, Session &session, const ControlState &kind) {
    const bool waits = step.Has(L"state");
    const LRESULT wanted = LRESULT(IntegerOption(step, L"state", 0));
    const DWORD timeout = TimeoutOf(step, waits ? kStateTimeout : 2000), start = GetTickCount();
    HWND control;
    if (int code = FindControl(session, step, timeout, &control)) return code;
    LRESULT state = -1;
    bool answered = false;
    PollUntil(waits ? TimeLeft(start, timeout) : 0, [&] {
        answered = kind.read(control, &state);
        return answered && (!waits || state == wanted);
    });
    if (!answered) return Fail(kExitFailed, L"control " + Hex(control) + L" does not answer");
    if (waits && state != wanted)
        return Fail(kExitTimeout, L"control " + Hex(control) + L" has " + kind.name + L" " + std::to_wstring(state) +
                                      L" after " + Seconds(timeout) + L", wanted " + std::to_wstring(wanted));
    Record({kind.record, std::to_wstring(state)});
    return kExitOk;
}

int RunChecked(const Step &step, Session &session) {
    return RunControlState(step, session, kCheckState);
}

int RunEnabled(const Step &step, Session &session) {
    return RunControlState(step, session, kEnabledState);
}

// Clicks (as a user would, so the owner hears BN_CLICKED) until the box shows the wanted state;
// three clicks take a three-state box through all its states.
int RunCheck(const Step &step, Session &session) {
    HWND control;
    if (int code = FindControl(session, step, TimeoutOf(step, 2000), &control)) return code;
    LRESULT wanted = step.verb == L"uncheck" ? BST_UNCHECKED : LRESULT(IntegerOption(step, L"state", BST_CHECKED));
    LRESULT state = -1;
    for (int clicks = 0; clicks <= 3; ++clicks) {
        LRESULT before = state;
        if (clicks > 0 && !PostMessageW(control, BM_CLICK, 0, 0)) break;
        PollUntil(clicks > 0 ? 1000 : 0, [&] { return Ask(control, BM_GETCHECK, 0, 0, &state) && state != before; });
        if (state == wanted) return kExitOk;
    }
    return Fail(kExitFailed, L"control " + Hex(control) + L" stays in state " + std::to_wstring(state) + L", wanted " +
                                 std::to_wstring(wanted));
}

struct ListMessages {
    UINT count, textLength, text, setSelection, getSelection;
    WORD changed;
};

const ListMessages kComboMessages = {CB_GETCOUNT,  CB_GETLBTEXTLEN, CB_GETLBTEXT,
                                     CB_SETCURSEL, CB_GETCURSEL,    CBN_SELCHANGE};
const ListMessages kListMessages = {LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT, LB_SETCURSEL, LB_GETCURSEL, LBN_SELCHANGE};

const ListMessages *ListMessagesOf(HWND control) {
    std::wstring name = ClassOf(control);
    for (wchar_t &c : name)
        c = wchar_t(std::towlower(c));
    if (name.find(L"combobox") != std::wstring::npos) return &kComboMessages;
    if (name.find(L"listbox") != std::wstring::npos) return &kListMessages;
    return nullptr;
}

// The entries of a combo box or list box; false when it does not answer.
bool ListItems(HWND control, const ListMessages &messages, std::vector<std::wstring> *items) {
    LRESULT count;
    if (!Ask(control, messages.count, 0, 0, &count) || count < 0) return false;
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length;
        if (!Ask(control, messages.textLength, i, 0, &length) || length < 0) return false;
        std::wstring text(length + 1, L'\0');
        if (!Ask(control, messages.text, i, reinterpret_cast<LPARAM>(&text[0]), &length) || length < 0) return false;
        text.resize(length);
        items->push_back(text);
    }
    return true;
}

// A combo box or list box with its entries as the step found them.
struct ListControl {
    HWND control = nullptr;
    const ListMessages *messages = nullptr;
    std::vector<std::wstring> items;
};

int FindList(const Session &session, const Step &step, ListControl *list) {
    if (int code = FindControl(session, step, TimeoutOf(step, 2000), &list->control)) return code;
    std::wstring name = Hex(list->control);
    if (!(list->messages = ListMessagesOf(list->control)))
        return Fail(kExitFailed, L"control " + name + L" is a " + ClassOf(list->control) + L", not a list");
    if (!ListItems(list->control, *list->messages, &list->items))
        return Fail(kExitFailed, L"control " + name + L" does not answer");
    return kExitOk;
}

int RunItems(const Step &step, Session &session) {
    ListControl list;
    if (int code = FindList(session, step, &list)) return code;
    LRESULT selected = -1;
    Ask(list.control, list.messages->getSelection, 0, 0, &selected);
    for (size_t i = 0; i < list.items.size(); ++i)
        Record({L"item", std::to_wstring(i), list.items[i], LRESULT(i) == selected ? L"selected" : L"-"});
    return kExitOk;
}

// Selects like the user: the selection changes and the owner hears CBN_SELCHANGE or LBN_SELCHANGE.
int RunSelect(const Step &step, Session &session) {
    ListControl list;
    if (int code = FindList(session, step, &list)) return code;
    const long long count = static_cast<long long>(list.items.size());
    long long index = IntegerOption(step, L"item-index", -1);
    if (const std::wstring *item = step.Option(L"item")) {
        for (index = 0; index < count && list.items[size_t(index)] != *item; ++index) {
        }
        if (index == count) return Fail(kExitFailed, L"no entry " + Quoted(*item));
    }
    if (index < 0 || index >= count)
        return Fail(kExitFailed, L"no entry " + std::to_wstring(index) + L" among " + std::to_wstring(count));
    LRESULT result;
    if (!Ask(list.control, list.messages->setSelection, WPARAM(index), 0, &result) || result != index)
        return Fail(kExitFailed, L"control " + Hex(list.control) + L" did not select entry " + std::to_wstring(index));
    PostMessageW(GetParent(list.control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list.control), list.messages->changed),
                 reinterpret_cast<LPARAM>(list.control));
    return kExitOk;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) || !info.hwndFocus) return window;
    return info.hwndFocus == window || IsChild(window, info.hwndFocus) ? info.hwndFocus : window;
}

int RunKeys(const Step &step, Session &session) {
    std::vector<KeyStroke> keys;
    std::wstring error;
    ParseAllKeys(step, &keys, &error);
    if (int code = NeedWindow(session)) return code;
    if (step.Has(L"input")) return SendKeys(session.window, keys);
    HWND target = FocusOf(session.window);
    if (NamesControl(step))
        if (int code = FindControl(session, step, TimeoutOf(step, 2000), &target)) return code;
    PostKeys(session.window, target, keys);
    return kExitOk;
}

int RunSleep(const Step &step, Session &) {
    long long milliseconds = 0;
    ParseInteger(step.args[0], &milliseconds);
    Sleep(DWORD(milliseconds));
    return kExitOk;
}

// Posted keys move the focus when the window's thread gets to them: with --id the step waits for
// the focus to reach that control.
int RunFocus(const Step &step, Session &session) {
    if (int code = NeedWindow(session)) return code;
    const bool waits = step.Has(L"id");
    const long long wanted = IntegerOption(step, L"id", 0);
    const DWORD timeout = TimeoutOf(step, kStateTimeout);
    HWND focus = nullptr;
    int id = 0;
    bool reached = PollUntil(waits ? timeout : 0, [&] {
        focus = FocusOf(session.window);
        id = focus == session.window ? 0 : GetDlgCtrlID(focus);
        return !waits || LOWORD(id) == LOWORD(wanted);
    });
    std::wstring text;
    ControlText(focus, &text);
    if (!reached)
        return Fail(kExitTimeout, L"the focus is on id " + std::to_wstring(id) + L" (" + ClassOf(focus) + L" " +
                                      Quoted(text) + L") after " + Seconds(timeout) + L", wanted id " +
                                      std::to_wstring(wanted));
    Record({L"focus", Hex(focus), std::to_wstring(id), ClassOf(focus), text});
    return kExitOk;
}

// Posted as the menu posts it: a command that opens a modal window does not hold the step.
int RunMenu(const Step &step, Session &session) {
    if (int code = NeedWindow(session)) return code;
    long long id = 0;
    ParseInteger(step.args[0], &id);
    if (!PostMessageW(session.window, WM_COMMAND, MAKEWPARAM(WORD(id), 0), 0))
        return Fail(kExitFailed, L"cannot post to window " + Hex(session.window));
    return kExitOk;
}

// ---- List views, context menus and messages ---------------------------------------------------

// A buffer in another program: a list view answers its item messages only with pointers into its
// own process. Freed when it goes out of scope.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, size_t size) : size_(size) {
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, ProcessOf(window));
        if (process_) address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer &) = delete;
    RemoteBuffer &operator=(const RemoteBuffer &) = delete;

    bool Valid() const { return address_ != nullptr; }
    template <typename T = void> T *At(size_t offset = 0) const {
        return reinterpret_cast<T *>(static_cast<char *>(address_) + offset);
    }
    bool Write(size_t offset, const void *data, size_t size) const {
        SIZE_T written = 0;
        return offset + size <= size_ && WriteProcessMemory(process_, At(offset), data, size, &written) &&
               written == size;
    }
    bool Read(size_t offset, void *data, size_t size) const {
        SIZE_T read = 0;
        return offset + size <= size_ && ReadProcessMemory(process_, At(offset), data, size, &read) && read == size;
    }

private:
    HANDLE process_ = nullptr;
    void *address_ = nullptr;
    size_t size_;
};

// An item's texts are read through an LVITEMW followed by the text buffer, both in the list's process.
const int kListTextChars = 1024;
const size_t kListBufferSize = sizeof(LVITEMW) + kListTextChars * sizeof(wchar_t);

bool IsListView(HWND control) {
    std::wstring name = ClassOf(control);
    for (wchar_t &c : name)
        c = wchar_t(std::towlower(c));
    return name.find(L"listview") != std::wstring::npos;
}

bool ListViewText(HWND list, const RemoteBuffer &buffer, int item, int column, std::wstring *text) {
    LVITEMW request = {};
    request.iSubItem = column;
    request.cchTextMax = kListTextChars;
    request.pszText = buffer.At<wchar_t>(sizeof(LVITEMW));
    LRESULT length;
    if (!buffer.Write(0, &request, sizeof request) ||
        !Ask(list, LVM_GETITEMTEXTW, WPARAM(item), reinterpret_cast<LPARAM>(buffer.At()), &length) || length < 0)
        return false;
    if (length >= kListTextChars) length = kListTextChars - 1;
    text->assign(size_t(length), L'\0');
    return length == 0 || buffer.Read(sizeof(LVITEMW), &(*text)[0], size_t(length) * sizeof(wchar_t));
}

// The check box of an item: 1 ticked, 0 clear, -1 when the list has no boxes.
int ListViewCheck(LRESULT state) {
    int image = int((state & LVIS_STATEIMAGEMASK) >> 12);
    return image == 0 ? -1 : image - 1;
}

// A list view with its rows (the texts of every column) as the step found them.
struct ListView {
    HWND control = nullptr;
    std::vector<std::vector<std::wstring>> rows;
    std::vector<LRESULT> states;
};

int ReadListView(const RemoteBuffer &buffer, ListView *list) {
    std::wstring name = Hex(list->control);
    LRESULT count = 0, header = 0, columns = 1;
    if (!Ask(list->control, LVM_GETITEMCOUNT, 0, 0, &count) || count < 0)
        return Fail(kExitFailed, L"list view " + name + L" does not answer");
    // Without a header (not a report view) an item is its label alone.
    if (Ask(list->control, LVM_GETHEADER, 0, 0, &header) && header &&
        (!Ask(reinterpret_cast<HWND>(header), HDM_GETITEMCOUNT, 0, 0, &columns) || columns < 1))
        columns = 1;
    for (LRESULT i = 0; i < count; ++i) {
        std::vector<std::wstring> row(static_cast<size_t>(columns));
        for (LRESULT column = 0; column < columns; ++column)
            if (!ListViewText(list->control, buffer, int(i), int(column), &row[size_t(column)]))
                return Fail(kExitFailed, L"cannot read item " + std::to_wstring(i) + L" of list view " + name);
        LRESULT state = 0;
        Ask(list->control, LVM_GETITEMSTATE, WPARAM(i), LVIS_STATEIMAGEMASK | LVIS_SELECTED, &state);
        list->rows.push_back(row);
        list->states.push_back(state);
    }
    return kExitOk;
}

int FindListView(const Session &session, const Step &step, HWND *control) {
    if (int code = FindControl(session, step, TimeoutOf(step, 2000), control)) return code;
    if (!IsListView(*control))
        return Fail(kExitFailed, L"control " + Hex(*control) + L" is a " + ClassOf(*control) + L", not a list view");
    return kExitOk;
}

int RunListViewItems(const Step &step, Session &session) {
    ListView list;
    if (int code = FindListView(session, step, &list.control)) return code;
    RemoteBuffer buffer(list.control, kListBufferSize);
    if (!buffer.Valid())
        return Fail(kExitFailed, L"cannot reach the memory of the program of " + Hex(list.control) + L", error " +
                                     std::to_wstring(GetLastError()));
    if (int code = ReadListView(buffer, &list)) return code;
    for (size_t i = 0; i < list.rows.size(); ++i) {
        int check = ListViewCheck(list.states[i]);
        std::wstring line = L"lvitem\t" + std::to_wstring(i) + L"\t" + (check < 0 ? L"-" : std::to_wstring(check)) +
                            L"\t" + ((list.states[i] & LVIS_SELECTED) ? L"selected" : L"-");
        for (const std::wstring &text : list.rows[i])
            line += L"\t" + Escape(text);
        Write(STD_OUTPUT_HANDLE, line + L"\n");
    }
    return kExitOk;
}

// Sets the box through the list, which tells its owner (LVN_ITEMCHANGED) as a click on the box does.
int RunListViewCheck(const Step &step, Session &session) {
    ListView list;
    if (int code = FindListView(session, step, &list.control)) return code;
    RemoteBuffer buffer(list.control, kListBufferSize);
    if (!buffer.Valid()) return Fail(kExitFailed, L"cannot reach the memory of the program of " + Hex(list.control));
    if (int code = ReadListView(buffer, &list)) return code;
    const long long count = static_cast<long long>(list.rows.size());
    long long index = IntegerOption(step, L"item-index", -1);
    if (const std::wstring *item = step.Option(L"item")) {
        for (index = 0; index < count && list.rows[size_t(index)][0] != *item; ++index) {
        }
        if (index == count) return Fail(kExitFailed, L"no item " + Quoted(*item));
    }
    if (index < 0 || index >= count)
        return Fail(kExitFailed, L"no item " + std::to_wstring(index) + L" among " + std::to_wstring(count));
    if (ListViewCheck(list.states[size_t(index)]) < 0)
        return Fail(kExitFailed, L"list view " + Hex(list.control) + L" has no check boxes");
    const int wanted = int(IntegerOption(step, L"state", 1));
    LVITEMW change = {};
    change.stateMask = LVIS_STATEIMAGEMASK;
    change.state = INDEXTOSTATEIMAGEMASK(wanted + 1);
    LRESULT done;
    if (!buffer.Write(0, &change, sizeof change) ||
        !Ask(list.control, LVM_SETITEMSTATE, WPARAM(index), reinterpret_cast<LPARAM>(buffer.At()), &done) || !done)
        return Fail(kExitFailed, L"list view " + Hex(list.control) + L" refused the check state");
    LRESULT state = 0;
    if (!PollUntil(TimeoutOf(step, 2000), [&] {
            return Ask(list.control, LVM_GETITEMSTATE, WPARAM(index), LVIS_STATEIMAGEMASK, &state) &&
                   ListViewCheck(state) == wanted;
        }))
        return Fail(kExitFailed, L"item " + std::to_wstring(index) + L" stays in check state " +
                                     std::to_wstring(ListViewCheck(state)) + L", wanted " + std::to_wstring(wanted));
    return kExitOk;
}

// The control the step names, or the current window when it names none.
int FindTarget(const Session &session, const Step &step, HWND *target) {
    *target = session.window;
    if (NamesControl(step)) return FindControl(session, step, TimeoutOf(step, 2000), target);
    return NeedWindow(session);
}

// Posted to the control, whose default handling passes it to its parent as a right click does.
int RunContext(const Step &step, Session &session) {
    HWND target;
    if (int code = FindTarget(session, step, &target)) return code;
    LPARAM where = -1;
    if (!step.Has(L"keyboard")) {
        RECT rect = {};
        GetWindowRect(target, &rect);
        where = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    }
    if (!PostMessageW(target, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(target), where))
        return Fail(kExitFailed, L"cannot post to " + Hex(target));
    return kExitOk;
}

// The label's mnemonic: the letter after a lone "&" ("Select &all": a); 0 when it has none.
wchar_t MnemonicOf(const std::wstring &label) {
    for (size_t i = 0; i + 1 < label.size(); ++i) {
        if (label[i] != L'&') continue;
        if (label[i + 1] != L'&') return wchar_t(std::towlower(label[i + 1]));
        ++i;
    }
    return 0;
}

// The open popup menu of the current window's program (of any program without a current window).
HWND OpenPopupMenu(const Session &session) {
    static const std::wstring kMenuClass = L"#32768";
    WindowFilter filter;
    filter.className = &kMenuClass;
    if (session.window && IsWindow(session.window)) filter.processId = ProcessOf(session.window);
    std::vector<HWND> menus = FindWindows(filter);
    return menus.empty() ? nullptr : menus[0];
}

// Wine lets no program read the menu of another, so an item is chosen by keys: the menu's own loop
// reads them from its thread's queue, whichever of its windows they were posted to.
int RunPopup(const Step &step, Session &session) {
    const DWORD timeout = TimeoutOf(step, kStateTimeout), start = GetTickCount();
    HWND menu = nullptr;
    if (!PollUntil(timeout, [&] { return (menu = OpenPopupMenu(session)) != nullptr; }))
        return Fail(kExitTimeout, L"no popup menu opened within " + Seconds(timeout));
    Record({L"popup", Hex(menu)});
    std::wstring chosen;
    if (const std::wstring *item = step.Option(L"item")) {
        PostMessageW(menu, WM_CHAR, MnemonicOf(*item), 1);
        chosen = L"no item with the mnemonic of " + Quoted(*item);
    } else if (step.Has(L"item-index")) {
        long long index = IntegerOption(step, L"item-index", 0);
        for (long long i = 0; i <= index; ++i)
            PostKeys(menu, menu, {KeyStroke{0, VK_DOWN}});
        PostKeys(menu, menu, {KeyStroke{0, VK_RETURN}});
        chosen = L"no item " + std::to_wstring(index);
    } else if (step.Has(L"close")) {
        PostKeys(menu, menu, {KeyStroke{0, VK_ESCAPE}});
        chosen = L"Esc did not close it";
    } else {
        return kExitOk;
    }
    if (PollUntil(TimeLeft(start, timeout), [&] { return !IsWindow(menu) || !IsWindowVisible(menu); })) return kExitOk;
    // Left open, the menu would hold its program in its loop.
    PostKeys(menu, menu, {KeyStroke{0, VK_ESCAPE}});
    return Fail(kExitTimeout,
                L"the menu is still open after " + Seconds(timeout) + L": " + chosen + L" (closed it with Esc)");
}

int RunPost(const Step &step, Session &session) {
    HWND target;
    if (int code = FindTarget(session, step, &target)) return code;
    UINT message = UINT(IntegerOption(step, L"message", 0));
    WPARAM wParam = WPARAM(IntegerOption(step, L"wparam", 0));
    LPARAM lParam = LPARAM(IntegerOption(step, L"lparam", 0));
    if (!PostMessageW(target, message, wParam, lParam))
        return Fail(kExitFailed, L"cannot post to " + Hex(target) + L", error " + std::to_wstring(GetLastError()));
    return kExitOk;
}

// The drop's DROPFILES block is written into the target's memory, where the receiver's DragQueryFile
// reads it and its DragFinish lets it go.
int RunDrop(const Step &step, Session &session) {
    HWND target;
    if (int code = FindTarget(session, step, &target)) return code;
    struct DropHeader {
        DWORD pFiles;
        POINT pt;
        BOOL fNC;
        BOOL fWide;
    } header = {sizeof(DropHeader), {1, 1}, FALSE, TRUE};
    std::wstring names;
    for (const std::wstring &path : step.args)
        names += path + L'\0';
    names += L'\0';
    std::string block(reinterpret_cast<const char *>(&header), sizeof header);
    block.append(reinterpret_cast<const char *>(names.data()), names.size() * sizeof(wchar_t));
    DWORD process = 0;
    GetWindowThreadProcessId(target, &process);
    HANDLE handle = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, process);
    void *remote = handle ? VirtualAllocEx(handle, nullptr, block.size(), MEM_COMMIT, PAGE_READWRITE) : nullptr;
    bool written = remote && WriteProcessMemory(handle, remote, block.data(), block.size(), nullptr);
    if (handle) CloseHandle(handle);
    if (!written) return Fail(kExitFailed, L"cannot write the drop into process " + std::to_wstring(process));
    if (!PostMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0))
        return Fail(kExitFailed, L"cannot post the drop to " + Hex(target));
    return kExitOk;
}

// ---- The verb table and the run ---------------------------------------------------------------

enum class ControlUse { None, Optional, Required };

struct Verb {
    const wchar_t *name;
    const wchar_t *options; // blank-separated, with a blank at each end
    ControlUse control;
    size_t minArgs, maxArgs;
    int (*run)(const Step &, Session &);
};

#define WINDOW_FILTER L" class title title-has exe pid hwnd hidden "
#define CONTROL_SELECTOR L" id text class nth timeout "

const Verb kVerbs[] = {
    {L"wait", WINDOW_FILTER L"timeout ", ControlUse::None, 0, 0, RunWait},
    {L"closed", WINDOW_FILTER L"timeout ", ControlUse::None, 0, 0, RunClosed},
    {L"windows", WINDOW_FILTER, ControlUse::None, 0, 0, RunWindows},
    {L"list", L" ", ControlUse::None, 0, 0, RunList},
    {L"text", CONTROL_SELECTOR, ControlUse::Optional, 0, 0, RunText},
    {L"expect", CONTROL_SELECTOR L"value has ", ControlUse::Optional, 0, 0, RunExpect},
    {L"settext", CONTROL_SELECTOR, ControlUse::Required, 1, 1, RunSetText},
    {L"click", CONTROL_SELECTOR L"command ", ControlUse::Required, 0, 0, RunClick},
    {L"check", CONTROL_SELECTOR L"state ", ControlUse::Required, 0, 0, RunCheck},
    {L"uncheck", CONTROL_SELECTOR, ControlUse::Required, 0, 0, RunCheck},
    {L"checked", CONTROL_SELECTOR L"state ", ControlUse::Required, 0, 0, RunChecked},
    {L"enabled", CONTROL_SELECTOR L"state ", ControlUse::Required, 0, 0, RunEnabled},
    {L"select", CONTROL_SELECTOR L"item item-index ", ControlUse::Required, 0, 0, RunSelect},
    {L"items", CONTROL_SELECTOR, ControlUse::Required, 0, 0, RunItems},
    {L"keys", CONTROL_SELECTOR L"input ", ControlUse::Optional, 1, 64, RunKeys},
    {L"rect", L" expect timeout ", ControlUse::None, 0, 0, RunRect},
    {L"mouse", L" ", ControlUse::None, 0, 2, RunMouse},
    {L"cursor", L" ", ControlUse::None, 0, 0, RunCursor},
    {L"focus", L" id timeout ", ControlUse::None, 0, 0, RunFocus},
    {L"menu", L" ", ControlUse::None, 1, 1, RunMenu},
    {L"lvitems", CONTROL_SELECTOR, ControlUse::Required, 0, 0, RunListViewItems},
    {L"lvcheck", CONTROL_SELECTOR L"item item-index state ", ControlUse::Required, 0, 0, RunListViewCheck},
    {L"context", CONTROL_SELECTOR L"keyboard ", ControlUse::Optional, 0, 0, RunContext},
    {L"popup", L" item item-index close timeout ", ControlUse::None, 0, 0, RunPopup},
    {L"post", CONTROL_SELECTOR L"message wparam lparam ", ControlUse::Optional, 0, 0, RunPost},
    {L"drop", CONTROL_SELECTOR, ControlUse::Optional, 1, 16, RunDrop},
    {L"sleep", L" ", ControlUse::None, 1, 1, RunSleep},
};

const Verb *FindVerb(const std::wstring &name) {
    for (const Verb &verb : kVerbs)
        if (name == verb.name) return &verb;
    return nullptr;
}

// What the verb table and the option kinds say about one step; the message names the fault.
std::wstring CheckStep(const Step &step, const Verb &verb) {
    for (const auto &option : step.options) {
        if (!InList(verb.options, option.first)) return L"--" + option.first + L" is not an option of " + step.verb;
        long long number;
        DWORD milliseconds;
        if (InList(kIntegerOptions, option.first) && !ParseInteger(option.second, &number))
            return L"--" + option.first + L" wants a number, not " + Quoted(option.second);
        if (option.first == L"timeout" && !ParseSeconds(option.second, &milliseconds))
            return L"--timeout wants seconds from 0 to 3600, not " + Quoted(option.second);
    }
    if (step.args.size() < verb.minArgs || step.args.size() > verb.maxArgs)
        return step.verb + L" takes " + std::to_wstring(verb.minArgs) +
               (verb.minArgs == verb.maxArgs ? L"" : L" or more") + L" plain arguments, not " +
               std::to_wstring(step.args.size()) + (step.args.empty() ? L"" : L" (" + Quoted(step.args[0]) + L"...)");
    if (verb.control == ControlUse::Required && !NamesControl(step))
        return step.verb + L" needs --id, --text or --class to name a control";
    if (step.verb == L"wait" && FilterOf(step).Empty()) return L"wait needs a window filter such as --class or --title";
    if (step.verb == L"expect" && step.Has(L"value") == step.Has(L"has")) return L"expect needs --value or --has";
    if (step.verb == L"select" && step.Has(L"item") == step.Has(L"item-index"))
        return L"select needs --item or --item-index";
    if (step.verb == L"rect" && step.Has(L"expect") && !ValidRectPattern(*step.Option(L"expect")))
        return L"rect --expect wants up to five fields, LEFT TOP RIGHT BOTTOM visible|hidden (* for any), not " +
               Quoted(*step.Option(L"expect"));
    long long number;
    if (step.verb == L"sleep" && (!ParseInteger(step.args[0], &number) || number < 0 || number > 600000))
        return L"sleep wants milliseconds, not " + Quoted(step.args[0]);
    if (step.verb == L"menu" && (!ParseInteger(step.args[0], &number) || number < 0 || number > 0xFFFF))
        return step.verb + L" wants a command id, not " + Quoted(step.args[0]);
    if (step.verb == L"lvcheck" && step.Has(L"item") == step.Has(L"item-index"))
        return L"lvcheck needs --item or --item-index";
    if (step.verb == L"lvcheck" && IntegerOption(step, L"state", 1) != 0 && IntegerOption(step, L"state", 1) != 1)
        return L"lvcheck --state wants 0 or 1";
    if (step.verb == L"popup" && int(step.Has(L"item")) + step.Has(L"item-index") + step.Has(L"close") > 1)
        return L"popup takes one of --item, --item-index and --close";
    if (step.verb == L"popup" && step.Has(L"item") && !MnemonicOf(*step.Option(L"item")))
        return L"popup --item wants the label with its & mnemonic, as \"Select &all\" (Wine lets no program "
               L"read another's menu), not " +
               Quoted(*step.Option(L"item"));
    if (step.verb == L"popup" && IntegerOption(step, L"item-index", 0) < 0) return L"popup --item-index counts from 0";
    if (step.verb == L"post" && !step.Has(L"message")) return L"post needs --message";
    if (step.verb == L"post" && (IntegerOption(step, L"message", 0) < 0 || IntegerOption(step, L"message", 0) > 0xFFFF))
        return L"post --message wants a message number from 0 to 0xFFFF";
    std::vector<KeyStroke> keys;
    std::wstring error;
    if (step.verb == L"keys" && !ParseAllKeys(step, &keys, &error)) return error;
    if (step.verb == L"keys" && step.Has(L"input") && NamesControl(step))
        return L"keys --input types into the focused control; it takes no control";
    return L"";
}

// Every step is checked before the first one runs, so a typo never leaves a half-driven window.
int CheckSteps(const std::vector<Step> &steps) {
    for (const Step &step : steps) {
        const Verb *verb = FindVerb(step.verb);
        if (!verb)
            return Fail(kExitUsage, L"step " + std::to_wstring(step.number) + L": unknown step " + Quoted(step.verb) +
                                        L" (wauto help lists them)");
        std::wstring problem = CheckStep(step, *verb);
        if (!problem.empty()) return Fail(kExitUsage, L"step " + std::to_wstring(step.number) + L": " + problem);
    }
    return kExitOk;
}

int RunSteps(const std::vector<Step> &steps) {
    Session session;
    for (const Step &step : steps) {
        gStepPrefix = L"step " + std::to_wstring(step.number) + L" (" + step.verb + L"): ";
        Journal(L"step " + std::to_wstring(step.number));
        if (int code = FindVerb(step.verb)->run(step, session)) return code;
    }
    return kExitOk;
}

std::vector<std::wstring> Arguments() {
    std::vector<std::wstring> args;
    int count = 0;
    LPWSTR *argv = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; argv && i < count; ++i)
        args.push_back(argv[i]);
    LocalFree(argv);
    return args;
}

} // namespace

static int RunWauto() {
    std::vector<std::wstring> args = Arguments();
    if (args.size() == 1 && (args[0] == L"help" || args[0] == L"--help")) {
        Write(STD_OUTPUT_HANDLE, kUsage);
        return kExitOk;
    }
    if (args.empty()) return Fail(kExitUsage, L"no steps given (wauto help lists them)");
    std::vector<Step> steps;
    if (int code = SplitSteps(args, &steps)) return code;
    if (int code = CheckSteps(steps)) return code;
    return RunSteps(steps);
}

int main() {
    Journal(L"started");
    int code = RunWauto();
    Journal(L"exit " + std::to_wstring(code));
    return code;
}
