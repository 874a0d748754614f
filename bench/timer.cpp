#include "timer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace bench {
namespace {

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

HANDLE Nul() {
    static HANDLE nul = [] {
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        HANDLE h = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) Die("CreateFileW (NUL)");
        return h;
    }();
    return nul;
}

}  // namespace

void Die(const char* what) {
    std::fprintf(stderr, "bench: %s (error %lu)\n", what, GetLastError());
    std::exit(2);
}

double Run(const Command& command, DWORD* exitCode) {
    std::wstring commandLine = L"\"" + command.exe + L"\"";
    if (!command.arguments.empty()) commandLine += L" " + command.arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = Nul();
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

Stats StatsOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

Comparison Compare(const Command& a, const Command& b, int reps, const std::function<void()>& restore,
                   const std::function<void(int program, DWORD exitCode)>& untimed) {
    DWORD exitCode = 0;
    restore();
    Run(a, &exitCode);
    if (untimed) untimed(0, exitCode);
    restore();
    Run(b, &exitCode);
    if (untimed) untimed(1, exitCode);
    Comparison c;
    for (int r = 0; r < reps; ++r) {
        double ta = 0, tb = 0;
        for (int turn = 0; turn < 2; ++turn) {
            const bool runA = (turn == 0) == (r % 2 == 0);
            restore();
            if (runA) {
                ta = Run(a);
            } else {
                tb = Run(b);
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

}  // namespace bench
