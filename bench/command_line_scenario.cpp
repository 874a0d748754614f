// A rejected command line: mioutil.exe -Bogus against an empty exe with the same imports.
#include <cstdio>

#include "scenarios.h"
#include "timer.h"

namespace bench {

void MeasureRejectedCommandLine(const Programs& programs, int reps) {
    const Command tool = {programs.tool, L"-Bogus"};
    const Command empty = {programs.empty, L"-Bogus"};
    DWORD toolExit = 0, emptyExit = 0;
    Run(tool, &toolExit);
    Run(empty, &emptyExit);
    std::printf("\nRejected command line: mioutil.exe -Bogus (exit code %lu) against an empty exe with the same "
                "imports (exit code %lu), %d repetitions\n",
                toolExit, emptyExit, reps);
    const Comparison c = Compare(tool, empty, reps, [] {});
    PrintTime("mioutil", c.a, 1000, "ms");
    PrintTime("empty exe", c.b, 1000, "ms");
    PrintRatio(c.ratio, "<= 1.05");
}

}  // namespace bench
