// The benchmark driver (scripts/bench.sh runs it under Wine in a prefix of its own).
// It makes the data (INF files, uninstall entries, port nodes), then runs
// mioutil.exe and the programs it is compared with as child processes, one after
// the other, and prints the ratios. Making and restoring the data is never timed:
// a timed run is the child's creation up to its end. Benchmark code: never shipped.
//
//   bench.exe [repetitions [tool.exe]]   (default 5, and the mioutil.exe built beside bench\;
//                                         the rejected command line runs 25 times as often)
#include <cstdio>
#include <cstdlib>

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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int reps = argc > 1 ? _wtoi(argv[1]) : 5;
    if (reps < 1) {
        std::fprintf(stderr, "usage: bench.exe [repetitions]\n");
        return 2;
    }
    const std::wstring own = e2e::BinDir();
    bench::Programs programs;
    programs.binDir = FolderOf(own) + L"\\bin";
    CreateDirectoryW(bench::kWorkFolder, nullptr);
    programs.tool = CopyToWorkFolder(argc > 2 ? argv[2] : programs.binDir + L"\\mioutil.exe");
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

    bench::MakeStash();
    bench::MeasureUninstall(programs, reps);
    std::fflush(stdout);
    bench::MeasureRejectedCommandLine(programs, reps * 25);
    std::fflush(stdout);
    bench::MeasureRemap(programs, reps);
    return 0;
}
