// The re-map (no argument) of 0, 8, 64 and 256 of the card's port nodes, 4 ports
// a card, made by the e2e device helpers with the recording class installer.
#include <cstdio>
#include <vector>

#include "data_makers.h"
#include "devices.h"
#include "names.h"
#include "scenarios.h"
#include "timer.h"

namespace bench {

void MeasureRemap(const Programs& programs, int reps) {
    Must(e2e::RegisterTestClass(programs.binDir));
    Must(e2e::InstallComDbStandIn(programs.binDir));
    e2e::RemoveNodes(mioutil::kBusEnumerator);
    std::printf("\nRe-map (no argument) of the card's port nodes, 4 ports a card, %d repetitions\n", reps);
    std::printf("  %-6s %10s   %-19s %s\n", "nodes", "median", "[min - max]", "ms per node (above the run with none)");
    const Command tool = {programs.tool, L""};
    double none = 0;
    std::vector<e2e::NodeSpec> ports;
    for (int nodes : {0, 8, 64, 256}) {
        for (int made = static_cast<int>(ports.size()); made < nodes; ++made) {
            const int com = 3 + (made * 37) % 256;  // distinct, shuffled
            ports.push_back(e2e::PortNode(made, L"COM" + std::to_wstring(com), made % 4 + 1));
        }
        // A run leaves every port in place, and the next would have nothing to do:
        // each timed run starts from the shuffled names again (not timed).
        auto shuffled = [&] {
            e2e::RemoveNodes(mioutil::kBusEnumerator);
            Must(e2e::CreateNodes(ports));
            e2e::ClearRecordedRestarts();
        };
        std::vector<double> times;
        shuffled();
        Run(tool);
        for (int r = 0; r < reps; ++r) {
            shuffled();
            times.push_back(Run(tool));
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

}  // namespace bench
