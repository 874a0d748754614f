// The benchmark driver (scripts/bench.sh runs it under Wine in a prefix of its own).
// It makes the data (INF files, uninstall entries, port nodes), then runs
// mioutil.exe and the programs it is compared with as child processes, one after
// the other, and prints the ratios. Making and restoring the data is never timed:
// a timed run is the child's creation up to its end. Benchmark code: never shipped.
//
//   bench.exe [repetitions [tool.exe]]   (default 5, and the mioutil.exe built beside bench\;
//                                         the rejected command line runs 25 times as often)
#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench_data.h"
#include "devices.h"
#include "names.h"

namespace {

constexpr int kMainFiles = 2000;
const int kGrowthFiles[] = {500, 1000, 2000, 4000};
constexpr int kMaxFiles = 4000;
constexpr int kCardEntryEvery = 200;  // 5 of 1,000 entries per view are the card's
const int kRemapNodes[] = {0, 8, 64, 256};

const wchar_t kWorkFolder[] = L"C:\\mioutil-bench";

struct Paths {
    std::wstring tool, reference, empty, stash, inf, binDir;
};
Paths g_paths;
HANDLE g_nul = INVALID_HANDLE_VALUE;

[[noreturn]] void Die(const char* what) {
    std::fprintf(stderr, "bench: %s (error %lu)\n", what, GetLastError());
    std::exit(2);
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) Die("GetModuleFileNameW");
    return FolderOf(std::wstring(path, n));
}

// ---- timing -----------------------------------------------------------------

double Seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Runs a program with its standard handles on NUL; the time from its creation to its end.
double Run(const std::wstring& exe, const std::wstring& arguments, DWORD* exitCode = nullptr) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = g_nul;
    PROCESS_INFORMATION process = {};
    const double start = Seconds();
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        Die("CreateProcessW");
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    const double elapsed = Seconds() - start;
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    if (exitCode != nullptr) *exitCode = code;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return elapsed;
}

struct Stats {
    double median, min, max;
};

Stats StatsOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

struct Command {
    std::wstring exe, arguments;
};

struct Comparison {
    std::vector<double> a, b, ratio;  // ratio[i] = a[i] / b[i], the runs of one repetition
};

// Runs a and b `reps` times, interleaved (a b, b a, a b, ...), after one untimed run
// of each; `restore` puts the data back before every run and is not timed.
Comparison Compare(const Command& a, const Command& b, int reps, const std::function<void()>& restore) {
    restore();
    Run(a.exe, a.arguments);
    restore();
    Run(b.exe, b.arguments);
    Comparison c;
    for (int r = 0; r < reps; ++r) {
        double ta = 0, tb = 0;
        for (int turn = 0; turn < 2; ++turn) {
            const bool runA = (turn == 0) == (r % 2 == 0);
            restore();
            if (runA) {
                ta = Run(a.exe, a.arguments);
            } else {
                tb = Run(b.exe, b.arguments);
            }
        }
        c.a.push_back(ta);
        c.b.push_back(tb);
        c.ratio.push_back(ta / tb);
    }
    return c;
}

void PrintTime(const char* label, const std::vector<double>& seconds, double scale, const char* unit) {
    const Stats s = StatsOf(seconds);
    std::printf("  %-12s %9.3f %s   [%.3f - %.3f]\n", label, s.median * scale, unit, s.min * scale, s.max * scale);
}

void PrintRatio(const std::vector<double>& ratios, const char* goal) {
    const Stats s = StatsOf(ratios);
    std::printf("  %-12s %9.3f     [%.3f - %.3f]   goal: %s\n", "ratio", s.median, s.min, s.max, goal);
}

// ---- INF files --------------------------------------------------------------

struct Rng {
    unsigned state;
    unsigned Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; *text != L'\0'; ++text) out.push_back(static_cast<char>(*text));
    return out;
}

std::string Format(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    return std::string(buffer, n < 0 ? 0 : std::min<size_t>(static_cast<size_t>(n), sizeof(buffer) - 1));
}

// An INF of about 31 KiB as vendors write them: the provider is named through
// %ProviderName%, whose text stands in [Strings] at the end of the file.
std::string InfText(int index) {
    static const char* const kVendors[] = {"Contoso Ltd.",      "Fabrikam, Inc.",     "Northwind Traders",
                                           "Korean Serial Co.", "KORE Communications", "Litware, Inc.",
                                           "Woodgrove Devices", "Adventure Works"};
    Rng rng = {static_cast<unsigned>(index) * 2654435761u + 12345u};
    const int provider = bench::ProviderOf(index);
    const std::string vendor = kVendors[index % 8];
    const std::string providerName = provider < 0 ? vendor : Narrow(mioutil::kProviderStrings[provider]);
    const size_t size = 31 * 1024 - 400 + rng.Next() % 800;

    std::string t = Format("; oem%d.inf - multi-port serial adapter driver package\r\n", bench::kFirstInfNumber + index);
    t += "[Version]\r\nSignature=\"$WINDOWS NT$\"\r\nClass=Ports\r\n"
         "ClassGuid={4D36E978-E325-11CE-BFC1-08002BE10318}\r\nProvider=%ProviderName%\r\n";
    t += Format("CatalogFile=ser%05u.cat\r\nDriverVer=%02u/%02u/20%02u,%u.%u.%u.0\r\nPnpLockdown=1\r\n\r\n",
                rng.Next() % 100000, 1 + rng.Next() % 12, 1 + rng.Next() % 28, 10 + rng.Next() % 14,
                1 + rng.Next() % 9, rng.Next() % 20, rng.Next() % 9000);
    t += "[Manufacturer]\r\n%MfgName%=Models,NTamd64\r\n\r\n[SourceDisksNames]\r\n1=%DiskName%\r\n\r\n";
    std::string strings = "[Strings]\r\nProviderName=\"" + providerName + "\"\r\nMfgName=\"" + vendor +
                          "\"\r\nDiskName=\"" + vendor + " Installation Disk\"\r\n";
    for (int model = 0; t.size() + strings.size() < size - 200; ++model) {
        const unsigned device = rng.Next() % 0x10000;
        t += Format("[Models.NTamd64.%d]\r\n%%Dev%d.Desc%%=Install_%d,PCI\\VEN_%04X&DEV_%04X&SUBSYS_%08X\r\n\r\n",
                    model, model, model, rng.Next() % 0x10000, device, rng.Next());
        t += Format("[Install_%d.NT]\r\nCopyFiles=Drivers_Dir_%d\r\nAddReg=Install_%d.AddReg\r\n\r\n", model, model,
                    model);
        t += Format("[Install_%d.AddReg]\r\nHKR,,PortSubClass,1,01\r\n"
                    "HKR,,EnumPropPages32,,\"MsPorts.dll,SerialPortPropPageProvider\"\r\n"
                    "HKR,,DeviceType,0x10001,0x%X\r\nHKR,,MaxBaudRate,0x10001,%u\r\n\r\n",
                    model, rng.Next() % 64, 115200u << (rng.Next() % 4));
        t += Format("[Install_%d.NT.Services]\r\nAddService=ser%04x,0x00000002,Service_%d,EventLog_%d\r\n\r\n", model,
                    device, model, model);
        strings += Format("Dev%d.Desc=\"%s PCI Express %u-port serial adapter, rev. %u\"\r\n", model, vendor.c_str(),
                          2u << (rng.Next() % 4), rng.Next() % 16);
    }
    while (t.size() + strings.size() < size) t += ";\r\n";
    return t + "\r\n" + strings;
}

std::wstring InfName(int index, const wchar_t* extension) {
    return L"oem" + std::to_wstring(bench::kFirstInfNumber + index) + extension;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) Die("CreateFileW (write)");
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != bytes.size()) Die("WriteFile");
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeStash() {
    CreateDirectoryW(g_paths.stash.c_str(), nullptr);
    for (int i = 0; i < kMaxFiles; ++i) {
        WriteFileBytes(g_paths.stash + L"\\" + InfName(i, L".inf"), InfText(i));
        WriteFileBytes(g_paths.stash + L"\\" + InfName(i, L".pnf"), std::string(4096, '\x01'));
    }
}

// Files 0 .. n-1 (and their PNF twins) in the INF folder, none after them.
void ArrangeInfs(int n, bool onlyProviders = false) {
    for (int i = 0; i < kMaxFiles; ++i) {
        if (onlyProviders && bench::ProviderOf(i) < 0) continue;
        for (const wchar_t* extension : {L".inf", L".pnf"}) {
            const std::wstring name = InfName(i, extension);
            const std::wstring inInf = g_paths.inf + L"\\" + name;
            const bool present = FileExists(inInf);
            if (i < n && !present) {
                if (!CopyFileW((g_paths.stash + L"\\" + name).c_str(), inInf.c_str(), TRUE)) Die("CopyFileW");
            } else if (i >= n && present) {
                DeleteFileW(inInf.c_str());
            }
        }
    }
}

int ProviderFilesPresent(int n) {
    int present = 0;
    for (int i = 0; i < n; ++i) {
        if (bench::ProviderOf(i) >= 0 && FileExists(g_paths.inf + L"\\" + InfName(i, L".inf"))) ++present;
    }
    return present;
}

// ---- uninstall entries ------------------------------------------------------

const REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
int g_entriesPresent = 0;  // entries 0 .. g_entriesPresent-1 exist in both views

bool IsCardEntry(int i) { return i % kCardEntryEvery == kCardEntryEvery / 2; }

std::wstring EntryName(int i) {
    wchar_t name[64];
    const unsigned h = static_cast<unsigned>(i) * 2654435761u;
    swprintf(name, 64, L"{%08X-%04X-4%03X-8%03X-%08X%04X}", h, i & 0xFFFF, (h >> 4) & 0xFFF, (h >> 16) & 0xFFF,
             h ^ 0x5A5A5A5Au, i);
    return name;
}

std::wstring UninstallStringOf(int i) {
    if (IsCardEntry(i)) {
        const std::wstring store = L"C:\\PROGRA~1\\DIFX\\7D3B2A40\\DPInst64.exe /u "
                                   L"C:\\Windows\\System32\\DriverStore\\FileRepository\\";
        switch ((i / kCardEntryEvery) % 5) {
            case 0: return store + L"krvpci.inf_amd64_neutral_5c1e\\krvpci.inf";
            case 1: return store + L"krvcard.inf_amd64_neutral_5c1e\\krvcard.inf";
            case 2: return store + L"mevport.inf_amd64_neutral_5c1e\\mevport.inf";
            case 3: return L"\"C:\\Program Files (x86)\\KORAV\\KRVInst.exe\" /uninstall";
            default: return L"\"C:\\Program Files\\Korav\\PCI_MultiIO_Driver\\uninst.exe\"";
        }
    }
    if (i % 3 == 0) return L"MsiExec.exe /X" + EntryName(i * 7 + 1);
    return L"\"C:\\Program Files\\Vendor " + std::to_wstring(i % 97) + L"\\Product " + std::to_wstring(i) +
           L"\\uninstall.exe\" /S";
}

void SetText(HKEY key, const wchar_t* name, const std::wstring& text) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void PutEntry(REGSAM view, int i) {
    HKEY key = nullptr;
    const std::wstring path = std::wstring(mioutil::kUninstallKeyPath) + L"\\" + EntryName(i);
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        Die("RegCreateKeyExW (entry)");
    }
    SetText(key, L"DisplayName", L"Product " + std::to_wstring(i));
    SetText(key, L"DisplayVersion", std::to_wstring(i % 9) + L"." + std::to_wstring(i % 31) + L".0");
    SetText(key, L"Publisher", L"Vendor " + std::to_wstring(i % 97));
    SetText(key, L"InstallLocation", L"C:\\Program Files\\Vendor " + std::to_wstring(i % 97));
    SetText(key, mioutil::kUninstallStringValue, UninstallStringOf(i));
    RegCloseKey(key);
}

void DeleteEntry(REGSAM view, int i) {
    HKEY uninstall = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, mioutil::kUninstallKeyPath, 0, KEY_ALL_ACCESS | view, &uninstall) !=
        ERROR_SUCCESS) {
        return;
    }
    RegDeleteKeyW(uninstall, EntryName(i).c_str());
    RegCloseKey(uninstall);
}

void ArrangeEntries(int perView) {
    for (REGSAM view : kViews) {
        for (int i = g_entriesPresent; i < perView; ++i) PutEntry(view, i);
        for (int i = perView; i < g_entriesPresent; ++i) DeleteEntry(view, i);
    }
    g_entriesPresent = perView;
}

// The card's entries and the vendor's keys, which a run of the tool deletes.
void RestoreCardEntries() {
    for (REGSAM view : kViews) {
        for (int i = 0; i < g_entriesPresent; ++i) {
            if (IsCardEntry(i)) PutEntry(view, i);
        }
    }
    if (g_entriesPresent > 0) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, mioutil::kVendorSetupKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) == ERROR_SUCCESS) {
            RegCloseKey(key);
        }
    }
}

int CardEntriesPresent() {
    int present = 0;
    for (REGSAM view : kViews) {
        for (int i = 0; i < g_entriesPresent; ++i) {
            if (!IsCardEntry(i)) continue;
            HKEY key = nullptr;
            const std::wstring path = std::wstring(mioutil::kUninstallKeyPath) + L"\\" + EntryName(i);
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) == ERROR_SUCCESS) {
                ++present;
                RegCloseKey(key);
            }
        }
    }
    return present;
}

// ---- the measurements -------------------------------------------------------

const Command& ToolUninstall() {
    static const Command c = {g_paths.tool, mioutil::kSwitchUninstallDriver};
    return c;
}
const Command& Reference() {
    static const Command c = {g_paths.reference, L""};
    return c;
}

void RestoreUninstallData(int files) {
    ArrangeInfs(files, true);
    RestoreCardEntries();
}

// One untimed run of the tool, to show that it did the work measured.
void CheckTheToolWorks(int files) {
    RestoreUninstallData(files);
    const int entriesBefore = CardEntriesPresent();
    DWORD exitCode = 0;
    Run(g_paths.tool, mioutil::kSwitchUninstallDriver, &exitCode);
    std::printf("  (an untimed run: exit code %lu, the card's INF files left %d of %d, its entries left %d of %d)\n",
                exitCode, ProviderFilesPresent(files), (files + bench::kProviderEvery - 1) / bench::kProviderEvery,
                CardEntriesPresent(), entriesBefore);
}

void MeasureUninstall(int reps) {
    std::printf("\n-UninstallDriver against the reference (reads only), %d repetitions, median [min - max]\n", reps);

    ArrangeInfs(kMainFiles);
    ArrangeEntries(0);
    std::printf("INF steps alone: %d INF files of about 31 KiB, %d naming a provider, no uninstall entries\n",
                kMainFiles, kMainFiles / bench::kProviderEvery);
    CheckTheToolWorks(kMainFiles);
    Comparison alone = Compare(ToolUninstall(), Reference(), reps, [] { RestoreUninstallData(kMainFiles); });
    PrintTime("mioutil", alone.a, 1, "s ");
    PrintTime("reference", alone.b, 1, "s ");
    PrintRatio(alone.ratio, "<= 1.1");

    std::vector<double> toolMedians;
    for (int files : kGrowthFiles) {
        const int entries = files / 2;
        ArrangeInfs(files);
        ArrangeEntries(entries);
        std::printf("%d INF files (%d naming a provider) and %d uninstall entries per view (%d the card's)\n", files,
                    files / bench::kProviderEvery, entries, entries / kCardEntryEvery);
        if (files == kMainFiles) CheckTheToolWorks(files);
        Comparison c = Compare(ToolUninstall(), Reference(), reps, [files] { RestoreUninstallData(files); });
        PrintTime("mioutil", c.a, 1, "s ");
        PrintTime("reference", c.b, 1, "s ");
        PrintRatio(c.ratio, files == kMainFiles ? "<= 1.4" : "-");
        toolMedians.push_back(StatsOf(c.a).median);
    }
    std::printf("Growth of mioutil -UninstallDriver, time ratio per doubling (goal: <= 2.1 each)\n");
    for (size_t i = 1; i < toolMedians.size(); ++i) {
        std::printf("  %4d -> %4d files   x%.2f\n", kGrowthFiles[i - 1], kGrowthFiles[i],
                    toolMedians[i] / toolMedians[i - 1]);
    }
    ArrangeEntries(0);
    ArrangeInfs(0);
}

void MeasureRejectedCommandLine(int reps) {
    const wchar_t* arguments = L"-Bogus";
    DWORD toolExit = 0, emptyExit = 0;
    Run(g_paths.tool, arguments, &toolExit);
    Run(g_paths.empty, arguments, &emptyExit);
    std::printf("\nRejected command line: mioutil.exe -Bogus (exit code %lu) against an empty exe with the same "
                "imports (exit code %lu), %d repetitions\n",
                toolExit, emptyExit, reps);
    Comparison c = Compare({g_paths.tool, arguments}, {g_paths.empty, arguments}, reps, [] {});
    PrintTime("mioutil", c.a, 1000, "ms");
    PrintTime("empty exe", c.b, 1000, "ms");
    PrintRatio(c.ratio, "<= 1.05");
}

void MeasureRemap(int reps) {
    if (!e2e::RegisterTestClass(g_paths.binDir)) Die("RegisterTestClass");
    if (!e2e::InstallComDbStandIn(g_paths.binDir)) Die("InstallComDbStandIn");
    e2e::RemoveNodes(mioutil::kBusEnumerator);
    std::printf("\nRe-map (no argument) of the card's port nodes, 4 ports a card, %d repetitions\n", reps);
    std::printf("  %-6s %10s   %-19s %s\n", "nodes", "median", "[min - max]", "ms per node (above the run with none)");
    double none = 0;
    int made = 0;
    for (int nodes : kRemapNodes) {
        std::vector<e2e::NodeSpec> ports;
        for (; made < nodes; ++made) {
            const int com = 3 + (made * 37) % 256;  // distinct, shuffled
            ports.push_back(e2e::PortNode(made, L"COM" + std::to_wstring(com), made % 4 + 1));
        }
        const testing::AssertionResult created = e2e::CreateNodes(ports);
        if (!created) {
            std::fprintf(stderr, "bench: %s\n", created.message());
            std::exit(2);
        }
        std::vector<double> times;
        Run(g_paths.tool, L"");
        for (int r = 0; r < reps; ++r) {
            e2e::ClearRecordedRestarts();
            times.push_back(Run(g_paths.tool, L""));
        }
        const size_t restarted = e2e::RecordedRestarts().size();
        const Stats s = StatsOf(times);
        if (nodes == 0) none = s.median;
        std::printf("  %-6d %7.1f ms   [%.1f - %.1f]", nodes, s.median * 1000, s.min * 1000, s.max * 1000);
        if (nodes > 0) {
            std::printf("   %6.2f  (%.2f)   %zu restarted", s.median * 1000 / nodes, (s.median - none) * 1000 / nodes,
                        restarted);
        }
        std::printf("\n");
    }
    e2e::RemoveNodes(mioutil::kBusEnumerator);
    e2e::ClearRecordedRestarts();
    e2e::UnregisterTestClass();
}

void CopyInto(const std::wstring& from, std::wstring& to) {
    const std::wstring name = from.substr(from.find_last_of(L"\\/") + 1);
    to = std::wstring(kWorkFolder) + L"\\" + name;
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) Die("CopyFileW (programs)");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int reps = argc > 1 ? _wtoi(argv[1]) : 5;
    if (reps < 1) {
        std::fprintf(stderr, "usage: bench.exe [repetitions]\n");
        return 2;
    }
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    g_nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                        OPEN_EXISTING, 0, nullptr);
    if (g_nul == INVALID_HANDLE_VALUE) Die("CreateFileW (NUL)");

    // The programs run from a folder of their own: no test stand-in lies beside them.
    const std::wstring own = OwnFolder();
    g_paths.binDir = FolderOf(own) + L"\\bin";
    CreateDirectoryW(kWorkFolder, nullptr);
    CopyInto(argc > 2 ? argv[2] : g_paths.binDir + L"\\mioutil.exe", g_paths.tool);
    CopyInto(own + L"\\reference.exe", g_paths.reference);
    CopyInto(own + L"\\empty.exe", g_paths.empty);
    g_paths.stash = std::wstring(kWorkFolder) + L"\\stash";
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    g_paths.inf = std::wstring(windows) + L"\\inf";

    using WineVersion = const char*(CDECL*)();
    const auto wineVersion = reinterpret_cast<WineVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    std::printf("mioutil benchmark under Wine %s, %lu processors; timed: each program from its creation to its end\n",
                wineVersion != nullptr ? wineVersion() : "(not Wine)", system.dwNumberOfProcessors);
    std::fflush(stdout);

    MakeStash();
    MeasureUninstall(reps);
    std::fflush(stdout);
    MeasureRejectedCommandLine(reps * 25);
    std::fflush(stdout);
    MeasureRemap(reps);
    return 0;
}
