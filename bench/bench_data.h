// What the benchmark's generated INF set looks like, shared by the driver that
// makes it and the reference program that reads it. Benchmark code: never shipped.
#pragma once

#include <cwchar>

namespace bench {

/// The generated files are oem10000.inf, oem10001.inf, ...
inline constexpr int kFirstInfNumber = 10000;

/// One file in this many names a provider string: 20 of 2,000.
inline constexpr int kProviderEvery = 100;

/// Which of the three provider strings file `index` names; -1 for none.
inline int ProviderOf(int index) { return index % kProviderEvery == 0 ? (index / kProviderEvery) % 3 : -1; }

/// How often one INF step opens and reads the file: once for each provider string
/// tested, the first that matches ending the test.
inline int ReadsPerStep(int index) {
    const int provider = ProviderOf(index);
    return provider < 0 ? 3 : provider + 1;
}

/// The index of a generated file from its name; -1 for a name that is not one of them.
inline int IndexOfName(const wchar_t* name) {
    int number = 0;
    wchar_t rest[8] = {};
    if (std::swscanf(name, L"oem%d.%3ls", &number, rest) != 2 || number < kFirstInfNumber) return -1;
    return number - kFirstInfNumber;
}

}  // namespace bench
