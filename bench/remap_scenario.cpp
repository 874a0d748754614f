// The re-map (no argument) of 0, 8, 64 and 256 of the card's port nodes, 4 ports
// a card, made by the e2e device helpers with the recording class installer; alone,
// or alternating with another build of the tool.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "data_makers.h"
#include "devices.h"
#include "names.h"
#include "scenarios.h"
#include "timer.h"

namespace bench {
namespace {

const int kNodeCounts[] = {0, 8, 64, 256};
constexpr int kGoalNodes = 256;

struct Ports {
    std::vector<e2e::NodeSpec> nodes;
    std::vector<int> numbers;  // the COM number each node starts with

    void GrowTo(int count) {
        for (int made = static_cast<int>(nodes.size()); made < count; ++made) {
            const int com = 3 + (made * 37) % 256;  // distinct, shuffled
            nodes.push_back(e2e::PortNode(made, L"COM" + std::to_wstring(com), made % 4 + 1));
            numbers.push_back(com);
        }
    }

    // A run leaves every port in place, and the next would have nothing to do: each
    // run starts from the shuffled names again, with no restart recorded, no plan
    // left and an empty COM-port database, whichever build ran before (not timed).
    void Shuffle() const {
        e2e::RemoveNodes(mioutil::kBusEnumerator);
        Must(e2e::CreateNodes(nodes));
        e2e::ClearRecordedRestarts();
        e2e::DeleteValue(e2e::kNative, mioutil::kPlanKeyPath, mioutil::kPlanValue);
        Must(e2e::SetComDb({}));
    }

    // The ports each take the held numbers in card order, and the cards are in
    // instance-ID order, four ports each at places 1 to 4: port i ends with the
    // i-th smallest number.
    int InFinalPlace() const {
        std::vector<int> sorted = numbers;
        std::sort(sorted.begin(), sorted.end());
        int right = 0;
        for (size_t i = 0; i < nodes.size(); ++i) {
            if (e2e::ReadNode(nodes[i].instanceId).portName == L"COM" + std::to_wstring(sorted[i])) ++right;
        }
        return right;
    }
};

// What an untimed run did, read before the data is put back.
struct Check {
    DWORD exitCode;
    size_t restarted;
    int inPlace;
    bool planLeft;
};

Check CheckOf(const Ports& ports, DWORD exitCode) {
    return {exitCode, e2e::RecordedRestarts().size(), ports.InFinalPlace(),
            e2e::ValueExists(e2e::kNative, mioutil::kPlanKeyPath, mioutil::kPlanValue)};
}

void PrintCheck(const char* label, const Check& c, size_t nodes) {
    std::printf("         (%s, untimed: exit code %lu, %zu restarted, %d of %zu in their final names, %s)\n", label,
                c.exitCode, c.restarted, c.inPlace, nodes, c.planLeft ? "a plan left" : "no plan left");
}

void PrintRow(const char* label, const std::vector<double>& times, double none, int nodes) {
    const Stats s = StatsOf(times);
    std::printf("  %-6s %-8s %8.1f ms   [%.1f - %.1f]", "", label, s.median * 1000, s.min * 1000, s.max * 1000);
    if (nodes > 0) {
        std::printf("   %6.2f  (%.2f)", s.median * 1000 / nodes, (s.median - none) * 1000 / nodes);
    }
    std::printf("\n");
}

void MeasureAlone(const Programs& programs, int reps) {
    std::printf("\nRe-map (no argument) of the card's port nodes, 4 ports a card, %d repetitions\n", reps);
    std::printf("  %-6s %10s   %-19s %s\n", "nodes", "median", "[min - max]", "ms per node (above the run with none)");
    const Command tool = {programs.tool, L""};
    double none = 0;
    Ports ports;
    for (int nodes : kNodeCounts) {
        ports.GrowTo(nodes);
        std::vector<double> times;
        ports.Shuffle();
        Run(tool);
        for (int r = 0; r < reps; ++r) {
            ports.Shuffle();
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
}

void MeasureAgainst(const Programs& programs, int reps) {
    std::printf("\nRe-map (no argument) of the card's port nodes, 4 ports a card, %d repetitions, two builds "
                "alternately (a b, b a, ...) after one untimed run of each\n",
                reps);
    std::printf("  this:  %ls\n  other: %ls\n", programs.toolSource.c_str(), programs.againstSource.c_str());
    std::printf("  %-6s %-8s %11s   %-19s %s\n", "nodes", "build", "median", "[min - max]",
                "ms per node (above the run with none)");
    const Command tool = {programs.tool, L""};
    const Command other = {programs.against, L""};
    double noneTool = 0, noneOther = 0;
    struct Line {
        int nodes;
        double tool, other;
        Stats ratio;
    };
    std::vector<Line> summary;
    Ports ports;
    for (int nodes : kNodeCounts) {
        ports.GrowTo(nodes);
        Check checks[2] = {};
        const Comparison c = Compare(tool, other, reps, [&] { ports.Shuffle(); },
                                     [&](int program, DWORD exitCode) { checks[program] = CheckOf(ports, exitCode); });
        if (nodes == 0) {
            noneTool = StatsOf(c.a).median;
            noneOther = StatsOf(c.b).median;
        }
        std::printf("  %-6d\n", nodes);
        PrintRow("this", c.a, noneTool, nodes);
        PrintRow("other", c.b, noneOther, nodes);
        const Stats r = StatsOf(c.ratio);
        std::printf("  %-6s %-8s %8.3f      [%.3f - %.3f]   goal: %s\n", "", "ratio", r.median, r.min, r.max,
                    nodes == kGoalNodes ? "<= 1.3" : "-");
        PrintCheck("this", checks[0], ports.nodes.size());
        PrintCheck("other", checks[1], ports.nodes.size());
        if (nodes > 0) summary.push_back({nodes, StatsOf(c.a).median, StatsOf(c.b).median, r});
        std::fflush(stdout);
    }
    std::printf("  %-6s %-16s %-16s %s\n", "nodes", "this ms/node", "other ms/node", "ratio this/other [min - max]");
    for (const Line& l : summary) {
        std::printf("  %-6d %5.2f  (%5.2f)    %5.2f  (%5.2f)    %.3f [%.3f - %.3f]%s\n", l.nodes, l.tool * 1000 / l.nodes,
                    (l.tool - noneTool) * 1000 / l.nodes, l.other * 1000 / l.nodes,
                    (l.other - noneOther) * 1000 / l.nodes, l.ratio.median, l.ratio.min, l.ratio.max,
                    l.nodes == kGoalNodes ? "   goal: <= 1.3" : "");
    }
}

}  // namespace

void MeasureRemap(const Programs& programs, int reps) {
    Must(e2e::RegisterTestClass(programs.binDir));
    Must(e2e::InstallComDbStandIn(programs.binDir));
    e2e::RemoveNodes(mioutil::kBusEnumerator);
    if (programs.against.empty()) {
        MeasureAlone(programs, reps);
    } else {
        MeasureAgainst(programs, reps);
    }
    e2e::RemoveNodes(mioutil::kBusEnumerator);
    e2e::ClearRecordedRestarts();
    e2e::UnregisterTestClass();
}

}  // namespace bench
