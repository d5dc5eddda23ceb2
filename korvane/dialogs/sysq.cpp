// sysq: the environment report. A support request needs to know the machine a run failed on; the
// report gathers what matters for the maintenance tools (processor, Windows, memory, screens,
// keyboard, drives, adapters, time zone) as plain text, shown in a resizable dialog from which the
// user copies or saves it.
#include "dialogs/sysq.h"

#include "dialogs/report.h"
#include "korvane.h"
#include "window/diskkind.h"
#include "window/layout.h"
#include "resource.h"

#include "language.h"
#include "platform.h"
#include "rega.h"
#include "winhandle.h"

#include <cpuid.h>
#include <iphlpapi.h>
#include <winioctl.h>

#include <cstring>
#include <new>
#include <vector>

namespace {

// The report as it grows: sections with a heading in brackets, lines of "label: value".
class Report {
public:
    void Section(const TextPair &heading) {
        if (!text_.empty()) text_ += "\r\n";
        text_ += std::string("[") + heading.Get() + "]\r\n";
    }
    void Line(const char *label, const std::string &value) { text_ += std::string(label) + ": " + value + "\r\n"; }
    void Line(const TextPair &label, const std::string &value) { Line(label.Get(), value); }
    void Text(const std::string &line) { text_ += line + "\r\n"; }
    std::string Take() { return std::move(text_); }

private:
    std::string text_;
};

const TextPair kUnavailable = {"取得できません", "not available"};

} // namespace

// ---- Plain pieces -------------------------------------------------------------------------------

CpuSignature DecodeCpuSignature(unsigned eax) {
    unsigned baseFamily = (eax >> 8) & 0xF;
    CpuSignature signature = {baseFamily, (eax >> 4) & 0xF, eax & 0xF};
    if (baseFamily == 0xF) signature.family += (eax >> 20) & 0xFF;
    if (baseFamily == 0x6 || baseFamily == 0xF) signature.model += ((eax >> 16) & 0xF) << 4;
    return signature;
}

std::string CpuFeatureText(const CpuidFeatures &features) {
    struct Bit {
        unsigned CpuidFeatures::*reg;
        unsigned bit;
        const char *name;
    };
    static const Bit kBits[] = {
        {&CpuidFeatures::leaf1Edx, 23, "MMX"},        {&CpuidFeatures::leaf1Edx, 25, "SSE"},
        {&CpuidFeatures::leaf1Edx, 26, "SSE2"},       {&CpuidFeatures::leaf1Ecx, 0, "SSE3"},
        {&CpuidFeatures::leaf1Ecx, 9, "SSSE3"},       {&CpuidFeatures::leaf1Ecx, 19, "SSE4.1"},
        {&CpuidFeatures::leaf1Ecx, 20, "SSE4.2"},     {&CpuidFeatures::leaf1Ecx, 23, "POPCNT"},
        {&CpuidFeatures::leaf1Ecx, 25, "AES"},        {&CpuidFeatures::leaf1Ecx, 28, "AVX"},
        {&CpuidFeatures::leaf1Ecx, 12, "FMA3"},       {&CpuidFeatures::leaf7Ebx, 5, "AVX2"},
        {&CpuidFeatures::leaf7Ebx, 16, "AVX-512F"},   {&CpuidFeatures::leaf7Ebx, 29, "SHA"},
        {&CpuidFeatures::extendedEdx, 29, "x86-64"},  {&CpuidFeatures::extendedEdx, 20, "NX"},
        {&CpuidFeatures::leaf1Ecx, 5, "VMX"},         {&CpuidFeatures::extendedEcx, 2, "SVM"},
        {&CpuidFeatures::leaf1Ecx, 31, "HYPERVISOR"},
    };
    std::string text;
    for (const Bit &bit : kBits) {
        if (!((features.*bit.reg >> bit.bit) & 1)) continue;
        if (!text.empty()) text += ' ';
        text += bit.name;
    }
    return text;
}

std::string ByteSizeText(unsigned long long bytes) {
    const unsigned long long kKiB = 1024, kMiB = kKiB * 1024, kGiB = kMiB * 1024, kTiB = kGiB * 1024;
    if (bytes < kMiB) return FormatString("%llu KB", bytes / kKiB);
    if (bytes < kGiB) return FormatString("%llu MB", bytes / kMiB);
    if (bytes < kTiB) return FormatString("%.1f GB", double(bytes) / double(kGiB));
    return FormatString("%.1f TB", double(bytes) / double(kTiB));
}

std::string UtcOffsetText(LONG biasMinutes) {
    LONG offset = -biasMinutes;
    char sign = offset < 0 ? '-' : '+';
    if (offset < 0) offset = -offset;
    return FormatString("UTC%c%02ld:%02ld", sign, offset / 60, offset % 60);
}

std::string WindowsProductName(const char *registryName, DWORD build) {
    std::string name = registryName && registryName[0] ? registryName : "Windows";
    size_t ten = name.find("Windows 10");
    if (build >= 22000 && ten != std::string::npos) name.replace(ten, 10, "Windows 11");
    return name;
}

// ---- Sections -----------------------------------------------------------------------------------

namespace {

std::string Trimmed(const char *text) {
    while (*text == ' ')
        ++text;
    std::string trimmed = text;
    while (!trimmed.empty() && trimmed.back() == ' ')
        trimmed.pop_back();
    return trimmed;
}

std::string CpuBrand() {
    unsigned words[12] = {};
    for (unsigned i = 0; i < 3; ++i)
        if (!__get_cpuid(0x80000002 + i, &words[i * 4], &words[i * 4 + 1], &words[i * 4 + 2], &words[i * 4 + 3]))
            return std::string();
    char brand[49] = "";
    memcpy(brand, words, 48);
    return Trimmed(brand);
}

void AddProcessor(Report &report) {
    report.Section({"プロセッサ", "Processor"});
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(0, &eax, &ebx, &ecx, &edx)) {
        report.Line("CPUID", kUnavailable.Get());
        return;
    }
    char vendor[13] = "";
    memcpy(vendor, &ebx, 4);
    memcpy(vendor + 4, &edx, 4);
    memcpy(vendor + 8, &ecx, 4);
    report.Line({"ベンダー", "Vendor"}, vendor);
    std::string brand = CpuBrand();
    if (!brand.empty()) report.Line({"名前", "Name"}, brand);
    CpuidFeatures features;
    __get_cpuid(1, &eax, &ebx, &features.leaf1Ecx, &features.leaf1Edx);
    CpuSignature signature = DecodeCpuSignature(eax);
    report.Line({"ファミリー/モデル/ステッピング", "Family/Model/Stepping"},
                FormatString("%u/%u/%u (%08X)", signature.family, signature.model, signature.stepping, eax));
    __get_cpuid_count(7, 0, &eax, &features.leaf7Ebx, &ecx, &edx);
    __get_cpuid(0x80000001, &eax, &ebx, &features.extendedEcx, &features.extendedEdx);
    report.Line({"機能", "Features"}, CpuFeatureText(features));
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    report.Line({"論理プロセッサ数", "Logical processors"}, FormatString("%lu", info.dwNumberOfProcessors));
}

OSVERSIONINFOEXW RtlVersion() {
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    // ntdll is in every process; taking its handle spares the folder change of a library load.
    using RtlGetVersionFunction = LONG(WINAPI *)(OSVERSIONINFOEXW *);
    auto rtlGetVersion = GetProcAs<RtlGetVersionFunction>(GetModuleHandleA("ntdll.dll"), "RtlGetVersion");
    if (!rtlGetVersion || rtlGetVersion(&info) != 0) info.dwOSVersionInfoSize = 0;
    return info;
}

void AddWindows(Report &report) {
    report.Section({"Windows のバージョン", "Windows"});
    OSVERSIONINFOEXW version = RtlVersion();
    REGA key;
    std::string product, edition, release;
    LONG revision = 0;
    if (key.OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", OPEN_READONLY)) {
        TextPtr text = key.RegReadStringA("ProductName", "");
        product = text ? text.get() : "";
        text = key.RegReadStringA("EditionID", "");
        edition = text ? text.get() : "";
        text = key.RegReadStringA("DisplayVersion", "");
        if (!text || !text[0]) text = key.RegReadStringA("ReleaseId", "");
        release = text ? text.get() : "";
        revision = key.ReadIntegerA("UBR", 0);
        key.CloseKey();
    }
    report.Line({"製品名", "Product"}, WindowsProductName(product.c_str(), version.dwBuildNumber));
    if (!edition.empty()) report.Line({"エディション", "Edition"}, edition);
    std::string number =
        FormatString("%lu.%lu.%lu", version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber);
    if (revision > 0) number += FormatString(".%ld", revision);
    if (!release.empty()) number += " (" + release + ")";
    report.Line({"バージョン", "Version"},
                number + FormatString(Tx(" (バージョン コード %u)", " (version code %u)"), GetWindowsVersionCode()));
    std::string servicePack = WideToAnsi(version.szCSDVersion);
    if (!servicePack.empty()) report.Line({"サービス パック", "Service pack"}, servicePack);
    report.Line({"言語", "Language"},
                FormatString(Tx("UI %04X、コード ページ %u、%s は日本語", "UI %04X, code page %u, %s in English"),
                             GetUserDefaultUILanguage(), GetACP(), ProductTitle()));
}

void AddMemory(Report &report) {
    report.Section({"メモリ", "Memory"});
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) {
        report.Line({"物理メモリ", "Physical memory"}, kUnavailable.Get());
        return;
    }
    report.Line({"物理メモリ", "Physical memory"},
                FormatString(Tx("%s (空き %s、使用率 %lu%%)", "%s (%s free, %lu%% in use)"),
                             ByteSizeText(status.ullTotalPhys).c_str(), ByteSizeText(status.ullAvailPhys).c_str(),
                             status.dwMemoryLoad));
    report.Line({"コミット可能量", "Commit limit"},
                FormatString(Tx("%s (空き %s)", "%s (%s free)"), ByteSizeText(status.ullTotalPageFile).c_str(),
                             ByteSizeText(status.ullAvailPageFile).c_str()));
}

// The monitors as EnumDisplayMonitors gives them; the callback only counts, so nothing that can
// throw runs inside it.
struct MonitorList {
    HMONITOR monitors[16];
    int count;
};

BOOL CALLBACK CollectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    auto *list = reinterpret_cast<MonitorList *>(data);
    if (list->count < int(sizeof list->monitors / sizeof list->monitors[0])) list->monitors[list->count++] = monitor;
    return TRUE;
}

std::string ScreenText(HMONITOR monitor) {
    MONITORINFOEXA info = {};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(monitor, &info)) return kUnavailable.Get();
    const RECT &area = info.rcMonitor;
    std::string text = FormatString("%ld x %ld", area.right - area.left, area.bottom - area.top);
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    if (EnumDisplaySettingsA(info.szDevice, ENUM_CURRENT_SETTINGS, &mode)) {
        text += FormatString(", %lu bit", mode.dmBitsPerPel);
        // 0 and 1 stand for the hardware's default rate, which the driver does not tell.
        if (mode.dmDisplayFrequency > 1) text += FormatString(", %lu Hz", mode.dmDisplayFrequency);
    }
    text += FormatString(Tx("、位置 (%ld, %ld)", ", at (%ld, %ld)"), area.left, area.top);
    if (info.dwFlags & MONITORINFOF_PRIMARY) text += Tx("、プライマリ", ", primary");
    DISPLAY_DEVICEA device = {};
    device.cb = sizeof device;
    if (EnumDisplayDevicesA(info.szDevice, 0, &device, 0) && device.DeviceString[0])
        text += std::string(" - ") + device.DeviceString;
    return text;
}

void AddScreens(Report &report) {
    report.Section({"画面", "Screens"});
    MonitorList list = {};
    EnumDisplayMonitors(nullptr, nullptr, CollectMonitor, reinterpret_cast<LPARAM>(&list));
    for (int i = 0; i < list.count; ++i)
        report.Line(FormatString(Tx("画面 %d", "Screen %d"), i + 1).c_str(), ScreenText(list.monitors[i]));
    HDC screen = GetDC(nullptr);
    if (screen) {
        report.Line("DPI", FormatString("%d", GetDeviceCaps(screen, LOGPIXELSX)));
        ReleaseDC(nullptr, screen);
    }
}

const char *KeyboardTypeName(int type) {
    switch (type) {
    case 1:
        return "IBM PC/XT";
    case 2:
        return "Olivetti M24";
    case 3:
        return "IBM PC/AT (84)";
    case 4:
        return Tx("拡張 101/102 キー", "enhanced 101/102-key");
    case 5:
        return "Nokia 1050";
    case 6:
        return "Nokia 9140";
    case 7:
        return Tx("日本語", "Japanese");
    case 81:
        return Tx("韓国語", "Korean");
    default:
        return Tx("その他", "other");
    }
}

void AddKeyboard(Report &report) {
    report.Section({"キーボード", "Keyboard"});
    int type = GetKeyboardType(0);
    report.Line({"種類", "Type"}, FormatString(Tx("%s (種類 %d、サブタイプ %d、ファンクション キー %d 個)",
                                                  "%s (type %d, subtype %d, %d function keys)"),
                                               KeyboardTypeName(type), type, GetKeyboardType(1), GetKeyboardType(2)));
    char layout[KL_NAMELENGTH] = "";
    if (!GetKeyboardLayoutNameA(layout)) return;
    std::string text = layout;
    REGA key;
    std::string path = std::string("SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts\\") + layout;
    if (key.OpenKey(HKEY_LOCAL_MACHINE, path.c_str(), OPEN_READONLY)) {
        TextPtr name = key.RegReadStringA("Layout Text", "");
        if (name && name[0]) text += std::string(" (") + name.get() + ")";
        key.CloseKey();
    }
    report.Line({"配列", "Layout"}, text);
}

const char *DriveTypeName(UINT type) {
    switch (type) {
    case DRIVE_REMOVABLE:
        return Tx("リムーバブル", "removable");
    case DRIVE_FIXED:
        return Tx("固定ディスク", "fixed disk");
    case DRIVE_REMOTE:
        return Tx("ネットワーク", "network");
    case DRIVE_CDROM:
        return "CD/DVD";
    case DRIVE_RAMDISK:
        return Tx("RAM ディスク", "RAM disk");
    default:
        return Tx("不明", "unknown");
    }
}

const char *BusTypeName(unsigned bus) {
    static const char *const kNames[] = {"",        "SCSI",        "ATAPI",          "ATA", "IEEE 1394", "SSA", "Fibre",
                                         "USB",     "RAID",        "iSCSI",          "SAS", "SATA",      "SD",  "MMC",
                                         "Virtual", "File-backed", "Storage Spaces", "NVMe"};
    return bus < sizeof kNames / sizeof kNames[0] ? kNames[bus] : "";
}

// The interface and model of the disk under a volume, e.g. "SATA, ST1000DM003"; empty when the
// volume does not tell (network drives, Wine).
std::string DiskInterface(char letter) {
    char device[] = "\\\\.\\X:";
    device[4] = letter;
    // No access rights are needed for the property query, so it works without elevation too.
    UniqueFile volume(CreateFileA(device, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!volume) return std::string();
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    alignas(STORAGE_DEVICE_DESCRIPTOR) char buffer[1024] = {};
    DWORD got = 0;
    if (!DeviceIoControl(volume.Get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer, sizeof buffer - 1,
                         &got, nullptr) ||
        got < sizeof(STORAGE_DEVICE_DESCRIPTOR))
        return std::string();
    const auto *descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR *>(buffer);
    std::string text = BusTypeName(descriptor->BusType);
    DWORD model = descriptor->ProductIdOffset;
    if (model > 0 && model < got) {
        std::string name = Trimmed(buffer + model);
        if (!name.empty()) text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

// The kind of a fixed drive as the drive information of normal mode decides it.
const char *FixedKindSuffix(FixedDiskKind kind) {
    switch (kind) {
    case FixedDiskKind::Ssd:
        return Tx("、SSD", ", SSD");
    case FixedDiskKind::HardDisk:
        return Tx("、ハードディスク", ", hard disk");
    default:
        return "";
    }
}

std::string DriveText(char letter) {
    char root[] = "X:\\";
    root[0] = letter;
    UINT type = GetDriveTypeA(root);
    std::string text = DriveTypeName(type);
    // A network drive that is gone can keep each query waiting; its kind is enough here.
    if (type == DRIVE_REMOTE || type == DRIVE_NO_ROOT_DIR || type == DRIVE_UNKNOWN) return text;
    char fileSystem[32] = "";
    if (!GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, fileSystem, sizeof fileSystem))
        return text + Tx("、メディアなし", ", no medium");
    text += std::string(", ") + fileSystem;
    ULARGE_INTEGER freeBytes = {}, totalBytes = {};
    if (GetDiskFreeSpaceExA(root, nullptr, &totalBytes, &freeBytes))
        text += FormatString(Tx("、%s (空き %s)", ", %s (%s free)"), ByteSizeText(totalBytes.QuadPart).c_str(),
                             ByteSizeText(freeBytes.QuadPart).c_str());
    std::string disk = DiskInterface(letter);
    if (!disk.empty()) text += ", " + disk;
    if (type == DRIVE_FIXED) text += FixedKindSuffix(ProbeFixedKind(letter - 'A'));
    return text;
}

void AddDrives(Report &report) {
    report.Section({"ドライブ", "Drives"});
    // An empty card reader or floppy drive must not ask for a disk.
    ErrorModeScope quiet(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    DWORD mask = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(mask & (1u << i))) continue;
        char letter = char('A' + i);
        report.Text(std::string(1, letter) + ": " + DriveText(letter));
    }
}

void AddDisplayAdapters(Report &report) {
    report.Section({"ディスプレイ アダプター", "Display adapters"});
    // One adapter shows once per output; it is listed once, marked when any output is primary.
    std::vector<std::pair<std::string, bool>> adapters;
    DISPLAY_DEVICEA device = {};
    device.cb = sizeof device;
    for (DWORD i = 0; EnumDisplayDevicesA(nullptr, i, &device, 0); ++i) {
        if (device.StateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER) continue;
        bool primary = (device.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) != 0;
        auto known = adapters.begin();
        while (known != adapters.end() && known->first != device.DeviceString)
            ++known;
        if (known == adapters.end())
            adapters.emplace_back(device.DeviceString, primary);
        else
            known->second = known->second || primary;
    }
    for (size_t i = 0; i < adapters.size(); ++i)
        report.Line(FormatString("%u", unsigned(i + 1)).c_str(),
                    adapters[i].first + (adapters[i].second ? Tx(" (プライマリ)", " (primary)") : ""));
}

const char *AdapterTypeName(UINT type) {
    switch (type) {
    case MIB_IF_TYPE_ETHERNET:
        return Tx("イーサネット", "Ethernet");
    case IF_TYPE_IEEE80211:
        return Tx("無線 LAN", "wireless");
    case MIB_IF_TYPE_PPP:
        return "PPP";
    case MIB_IF_TYPE_LOOPBACK:
        return Tx("ループバック", "loopback");
    case MIB_IF_TYPE_TOKENRING:
        return Tx("トークン リング", "token ring");
    default:
        return Tx("その他", "other");
    }
}

// Addresses stay out of the report: it is meant to be mailed, and whether an adapter has one is
// what a support question needs.
std::string AdapterText(const IP_ADAPTER_INFO &adapter) {
    bool hasAddress = strcmp(adapter.IpAddressList.IpAddress.String, "0.0.0.0") != 0 &&
                      adapter.IpAddressList.IpAddress.String[0] != '\0';
    return std::string(adapter.Description) + ", " + AdapterTypeName(adapter.Type) +
           (adapter.DhcpEnabled ? ", DHCP" : Tx("、固定アドレス", ", fixed address")) +
           (hasAddress ? Tx("、接続", ", connected") : Tx("、アドレスなし", ", no address"));
}

void AddNetworkAdapters(Report &report) {
    report.Section({"ネットワーク アダプター", "Network adapters"});
    std::vector<char> buffer;
    ULONG size = 16 * 1024;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    // The list may grow between the size question and the read; a second try takes the new size.
    for (int attempt = 0; attempt < 3 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.assign(size, 0);
        status = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO *>(buffer.data()), &size);
    }
    if (status != NO_ERROR) {
        report.Line({"アダプター", "Adapters"}, status == ERROR_NO_DATA ? Tx("なし", "none") : kUnavailable.Get());
        return;
    }
    int number = 0;
    for (auto *adapter = reinterpret_cast<const IP_ADAPTER_INFO *>(buffer.data()); adapter; adapter = adapter->Next)
        report.Line(FormatString("%d", ++number).c_str(), AdapterText(*adapter));
}

void AddTimeZone(Report &report) {
    report.Section({"タイム ゾーン", "Time zone"});
    TIME_ZONE_INFORMATION zone = {};
    DWORD state = GetTimeZoneInformation(&zone);
    if (state == TIME_ZONE_ID_INVALID) {
        report.Line({"名前", "Name"}, kUnavailable.Get());
        return;
    }
    bool daylight = state == TIME_ZONE_ID_DAYLIGHT;
    report.Line({"名前", "Name"}, WideToAnsi(daylight ? zone.DaylightName : zone.StandardName));
    LONG bias = zone.Bias + (daylight ? zone.DaylightBias : zone.StandardBias);
    report.Line({"UTC との差", "Offset"},
                UtcOffsetText(bias) + (daylight ? Tx(" (夏時間)", " (daylight saving time)") : ""));
    // The key name tells zones apart that share a display name; XP does not have it.
    using DynamicFunction = DWORD(WINAPI *)(DYNAMIC_TIME_ZONE_INFORMATION *);
    auto dynamic = GetProcAs<DynamicFunction>(GetModuleHandleA("kernel32.dll"), "GetDynamicTimeZoneInformation");
    DYNAMIC_TIME_ZONE_INFORMATION keyed = {};
    if (dynamic && dynamic(&keyed) != TIME_ZONE_ID_INVALID && keyed.TimeZoneKeyName[0])
        report.Line({"キー", "Key"}, WideToAnsi(keyed.TimeZoneKeyName));
}

} // namespace

std::string BuildEnvironmentReport() {
    try {
        Report report;
        SYSTEMTIME now = {};
        GetLocalTime(&now);
        std::string heading =
            std::string(Tx("SYSQ32 (環境情報)", "SYSQ32 (Information of your Environment)")) +
            FormatString(" %04u-%02u-%02u %02u:%02u\r\n", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute);
        AddProcessor(report);
        AddWindows(report);
        AddMemory(report);
        AddScreens(report);
        AddKeyboard(report);
        AddDrives(report);
        AddDisplayAdapters(report);
        AddNetworkAdapters(report);
        AddTimeZone(report);
        return heading + "\r\n" + report.Take();
    } catch (const std::bad_alloc &) {
        return std::string();
    }
}

// ---- The dialog ---------------------------------------------------------------------------------

namespace {

constexpr const char *kHelpTopic = "HLP000107.html";

const Anchor kAnchors[] = {
    {IDC_SYSQ_TEXT, kAnchorSize}, {IDC_SYSQ_COPY, kAnchorBottom}, {IDC_SYSQ_SAVE, kAnchorBottom},
    {IDHELP, kAnchorCorner},      {IDCANCEL, kAnchorCorner},      {0, 0},
};

const ToolTipText kToolTipsJa[] = {
    {IDC_SYSQ_COPY, "環境情報をクリップボードにコピーします。"},
    {IDC_SYSQ_SAVE, "環境情報をテキストファイルに保存します。"},
    {IDHELP, "ヘルプを表示します。"},
    {IDCANCEL, "このダイアログを閉じます。"},
    {0, nullptr},
};
const ToolTipText kToolTipsEn[] = {
    {IDC_SYSQ_COPY, "Copies the environment information to the clipboard."},
    {IDC_SYSQ_SAVE, "Saves the environment information to a text file."},
    {IDHELP, "Displays Japanese help."},
    {IDCANCEL, "Closes this dialog."},
    {0, nullptr},
};

} // namespace

void ShowEnvironmentReport(HWND owner) {
    ReportDialog dialog{IDD_SYSQ_JA,   IDD_SYSQ_EN, IDC_SYSQ_TEXT, IDC_SYSQ_COPY,
                        IDC_SYSQ_SAVE, kAnchors,    "SYSQ.txt",    {"環境情報の保存", "Save the environment information"},
                        kHelpTopic,    kToolTipsJa, kToolTipsEn};
    ShowReportDialog(owner, dialog, BuildEnvironmentReport);
}
