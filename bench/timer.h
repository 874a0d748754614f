// Times programs run as child processes, with their standard handles on NUL: a
// timed run is a child's creation up to its end. Benchmark code: never shipped.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace bench {

/// Prints what failed and the last error, and ends the benchmark with exit code 2.
[[noreturn]] void Die(const char* what);

struct Command {
    std::wstring exe, arguments;
};

/// Runs the program to its end; the seconds it took.
double Run(const Command& command, DWORD* exitCode = nullptr);

struct Stats {
    double median, min, max;
};
Stats StatsOf(std::vector<double> values);

struct Comparison {
    std::vector<double> a, b, ratio;  // ratio[i] = a[i] / b[i], the runs of one repetition
};

/// Runs a and b `reps` times, interleaved (a b, b a, a b, ...), after one untimed
/// run of each; `restore` puts the data back before every run and is not timed.
/// `untimed`, where given, looks at what each untimed run did (0: a, 1: b) with its
/// exit code, before the data is put back.
Comparison Compare(const Command& a, const Command& b, int reps, const std::function<void()>& restore,
                   const std::function<void(int program, DWORD exitCode)>& untimed = nullptr);

/// One line: median [min - max], times `scale` in `unit`.
void PrintTime(const char* label, const std::vector<double>& seconds, double scale, const char* unit);
void PrintRatio(const std::vector<double>& ratios, const char* goal);

}  // namespace bench
