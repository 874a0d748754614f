// Demo helper (used by scripts/demo.sh, built on the e2e tests' helpers):
//   demo_setup install   simulates two KORAV cards of four serial ports whose
//                        COM numbers were handed out in a shuffled order;
//   demo_setup show      prints every port of the cards in card order and,
//                        once the tool has run, the order of its restarts.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "devices.h"
#include "names.h"

namespace {

struct DemoPort {
    int id;           // KRVPCARD_ENUM\KRVPCARD_SERP\<id>, the order Windows lists the nodes in
    int portOnCard;   // location number: the port's place on its card
    const wchar_t* com;
};

// Each card lists its port 1 first, the others in the order the driver found them.
const DemoPort kPorts[] = {
    {0, 1, L"COM8"}, {1, 3, L"COM3"}, {2, 2, L"COM10"}, {3, 4, L"COM5"},  // card 1
    {4, 1, L"COM4"}, {5, 4, L"COM9"}, {6, 2, L"COM6"},  {7, 3, L"COM7"},  // card 2
};

// Each helper prints what failed; the demo stops at the first.
bool Arrange() {
    e2e::RemoveNodes(mioutil::kBusEnumerator);
    e2e::ClearRecordedRestarts();
    std::vector<e2e::NodeSpec> nodes;
    for (const DemoPort& p : kPorts) {
        nodes.push_back({e2e::PortId(p.id), p.com, e2e::LocationText(p.portOnCard),
                         std::wstring(mioutil::kPortNamePrefix) + L" (" + p.com + L")"});
    }
    // Each port's driver holds the link of its COM name, as after the last boot.
    return e2e::RegisterTestClass(e2e::BinDir()) && e2e::InstallComDbStandIn(e2e::BinDir()) &&
           e2e::CreateNodes(nodes) && e2e::SeedLinks();
}

int Install() { return Arrange() ? 0 : 1; }

int Show() {
    struct Row {
        int card, port;
        std::wstring id;
        e2e::NodeState state;
        int restarts;
        std::wstring link;
    };
    const std::vector<std::pair<std::wstring, std::wstring>> restarts = e2e::RecordedRestartsWithNames();
    const std::map<std::wstring, std::wstring> links = e2e::Links();
    std::vector<Row> rows;
    int card = 0;
    for (const DemoPort& p : kPorts) {
        if (p.portOnCard == 1) ++card;
        const std::wstring id = e2e::PortId(p.id);
        const int restarted = static_cast<int>(
            std::count_if(restarts.begin(), restarts.end(), [&](const auto& r) { return r.first == id; }));
        const auto link = links.find(id);
        rows.push_back({card, p.portOnCard, id, e2e::ReadNode(id), restarted, link == links.end() ? L"-" : link->second});
    }
    std::sort(rows.begin(), rows.end(),
              [](const Row& a, const Row& b) { return a.card != b.card ? a.card < b.card : a.port < b.port; });
    std::printf("    card  port   PortName   friendly name            link    restarts  device node\n");
    for (const Row& r : rows) {
        std::printf("    %4d  %4d   %-9ls  %-24ls %-7ls %8d  %ls\n", r.card, r.port, r.state.portName.c_str(),
                    r.state.friendlyName.c_str(), r.link.c_str(), r.restarts, r.id.c_str());
    }
    if (restarts.empty()) return 0;
    std::printf("\n    The restarts in the order the tool asked for them:\n");
    for (size_t i = 0; i < restarts.size(); ++i) {
        std::printf("    %3zu. %ls as %ls\n", i + 1, restarts[i].first.c_str(), restarts[i].second.c_str());
    }
    const std::vector<std::wstring> collisions = e2e::RecordedCollisions();
    std::printf("\n    %zu restarts for %zu ports; ports that restarted onto a name another port held: %zu\n",
                restarts.size(), rows.size(), collisions.size());
    for (const std::wstring& line : collisions) std::printf("      %ls\n", line.c_str());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc == 2 ? argv[1] : L"";
    if (command == L"install") return Install();
    if (command == L"show") return Show();
    std::fprintf(stderr, "usage: demo_setup install | show\n");
    return 2;
}
