// The benchmark's scenarios, one file each; bench.cpp runs them in this order.
// Benchmark code: never shipped.
#pragma once

#include <string>

namespace bench {

/// The programs, copied to the work folder; `binDir` holds the test stand-ins.
/// `against`: another build of mioutil.exe the re-map is compared with ("": none),
/// copied as mioutil.exe too, so that Wine's per-exe DLL override for the COM-port
/// database stand-in reaches it. The sources are where they were copied from.
struct Programs {
    std::wstring tool, reference, empty, against, binDir;
    std::wstring toolSource, againstSource;
};

/// -UninstallDriver against the reference that only reads the INF files, and its growth.
void MeasureUninstall(const Programs& programs, int reps);
/// A rejected command line against an empty exe with the same imports.
void MeasureRejectedCommandLine(const Programs& programs, int reps);
/// The re-map of 0 to 256 port nodes, alone or alternating with `against`.
void MeasureRemap(const Programs& programs, int reps);

}  // namespace bench
