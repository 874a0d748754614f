// The benchmark driver (scripts/bench.sh runs it under Wine in a prefix of its own).
// It makes the data (INF files, uninstall entries, port nodes), then runs
// mioutil.exe and the programs it is compared with as child processes, one after
// the other, and prints the ratios. Making and restoring the data is never timed:
// a timed run is the child's creation up to its end. Benchmark code: never shipped.
//
//   bench.exe [repetitions [tool.exe]] [--against other.exe] [--remap-only]
//     repetitions: default 5 (the rejected command line runs 25 times as often);
//     tool.exe: default the mioutil.exe built beside bench\;
//     --against: the re-map alternates the tool with this other build of it (run as mioutil.exe);
//     --remap-only: the re-map alone, without the INF files' stash and the other scenarios.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "data_makers.h"
#include "helpers.h"
#include "scenarios.h"
#include "timer.h"

namespace {

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

// The programs run from a folder of their own: no test stand-in lies beside them.
std::wstring CopyToWorkFolder(const std::wstring& from) {
    const std::wstring to = std::wstring(bench::kWorkFolder) + L"\\" + from.substr(from.find_last_of(L"\\/") + 1);
    bench::Must(e2e::CopyTo(from, to));
    return to;
}

int Usage() {
    std::fprintf(stderr, "usage: bench.exe [repetitions [tool.exe]] [--against other.exe] [--remap-only]\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> positional;
    std::wstring against;
    bool remapOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--against" && i + 1 < argc) {
            against = argv[++i];
        } else if (arg == L"--remap-only") {
            remapOnly = true;
        } else if (arg.rfind(L"--", 0) == 0) {
            return Usage();
        } else {
            positional.push_back(arg);
        }
    }
    const int reps = !positional.empty() ? _wtoi(positional[0].c_str()) : 5;
    if (reps < 1 || positional.size() > 2) return Usage();
    const std::wstring own = e2e::BinDir();
    bench::Programs programs;
    programs.binDir = FolderOf(own) + L"\\bin";
    CreateDirectoryW(bench::kWorkFolder, nullptr);
    programs.toolSource = positional.size() > 1 ? positional[1] : programs.binDir + L"\\mioutil.exe";
    programs.tool = CopyToWorkFolder(programs.toolSource);
    if (!against.empty()) {
        // A folder of its own, whatever the file was called: both builds run as
        // mioutil.exe (see Programs).
        programs.againstSource = against;
        const std::wstring folder = std::wstring(bench::kWorkFolder) + L"\\against";
        CreateDirectoryW(folder.c_str(), nullptr);
        programs.against = folder + L"\\mioutil.exe";
        bench::Must(e2e::CopyTo(against, programs.against));
    }
    programs.reference = CopyToWorkFolder(own + L"\\reference.exe");
    programs.empty = CopyToWorkFolder(own + L"\\empty.exe");

    using WineVersion = const char*(CDECL*)();
    const auto wineVersion = reinterpret_cast<WineVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    std::printf("mioutil benchmark under Wine %s, %lu processors; timed: each program from its creation to its end\n",
                wineVersion != nullptr ? wineVersion() : "(not Wine)", system.dwNumberOfProcessors);
    std::fflush(stdout);

    if (!remapOnly) {
        bench::MakeStash();
        bench::MeasureUninstall(programs, reps);
        std::fflush(stdout);
        bench::MeasureRejectedCommandLine(programs, reps * 25);
        std::fflush(stdout);
    }
    bench::MeasureRemap(programs, reps);
    return 0;
}
