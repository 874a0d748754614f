// The re-map's table over any set of ports: no number goes to two ports, none to
// a port while another keeps it, exactly the numbers of the renamed ports are
// handed out, and they ascend in card order. Then the whole re-map (RenumberPorts)
// over the same ports: no port is ever given a number another port holds at that
// moment, each ends with its own number or the one handed to it, and the restart
// order keeps its rules with and without a spare number.
#include <algorithm>
#include <map>
#include <vector>

#include "devices/port_table.h"
#include "devices/remap_walk.h"
#include "fuzz_input.h"
#include "restart_order_check.h"

namespace {

struct Member {
    bool readable;  // its "PortName" could be read
    bool located;   // its location text could be read
    int32_t location;
    int32_t number;
    uint32_t position;
    bool placed;
    bool renamed;
    int32_t handed;
};

// The port node set as RenumberPorts sees it: each member's number by now.
struct Ports {
    std::vector<Member>* members;
    std::vector<int32_t> holds;
    uint32_t selected = 0;
    bool collectWorks;
    int32_t heldElsewhere;  // a number some other device holds
};

bool Select(void* context, uint32_t index) {
    Ports* ports = static_cast<Ports*>(context);
    if (index >= ports->members->size()) return false;
    ports->selected = index;
    return true;
}

bool ReadNumber(void* context, int32_t* number) {
    Ports* ports = static_cast<Ports*>(context);
    if (!(*ports->members)[ports->selected].readable) return false;
    *number = ports->holds[ports->selected];
    return true;
}

bool ReadLocation(void* context, int32_t* location) {
    Ports* ports = static_cast<Ports*>(context);
    *location = (*ports->members)[ports->selected].location;
    return (*ports->members)[ports->selected].located;
}

bool CollectHeld(void* context, mioutil::ComNumberSet* held) {
    Ports* ports = static_cast<Ports*>(context);
    mioutil::MarkComNumber(held, ports->heldElsewhere);
    return ports->collectWorks;
}

void WriteAndRestart(void* context, int32_t number) {
    Ports* ports = static_cast<Ports*>(context);
    for (size_t m = 0; m < ports->holds.size(); ++m) {
        FUZZ_CHECK(m == ports->selected || !(*ports->members)[m].readable || ports->holds[m] != number);
    }
    // A spare name is never one another device holds; a number a card port held
    // all along may be (a name two devices already shared stays shared).
    bool cardNumber = false;
    for (const Member& m : *ports->members) cardNumber = cardNumber || (m.readable && m.number == number);
    FUZZ_CHECK(cardNumber || number != ports->heldElsewhere);
    ports->holds[ports->selected] = number;
}

// Mostly small values, so that positions and numbers collide; now and then any 32-bit value.
int32_t TakeValue(FuzzInput& in, bool wide) {
    return wide ? static_cast<int32_t>(in.Word()) : static_cast<int8_t>(in.Byte());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    std::vector<Member> members;
    while (in.Left() > 0 && members.size() < 400) {
        const uint8_t flags = in.Byte();
        Member m = {};
        m.readable = (flags & 1) == 0;
        m.located = (flags & 2) == 0;
        m.location = TakeValue(in, (flags & 4) != 0);
        m.number = TakeValue(in, (flags & 8) != 0);
        members.push_back(m);
    }

    // On the heap, so that AddressSanitizer sees the table's end; UBSan checks each array index.
    std::unique_ptr<mioutil::PortTable> table(new mioutil::PortTable());
    uint32_t baseIndex = 0;
    bool anyLeftOut = false;
    for (uint32_t i = 0; i < members.size(); ++i) {
        Member& m = members[i];
        if (!m.readable) continue;
        m.position = mioutil::PortPosition(i, m.located, m.location, &baseIndex);
        m.placed = mioutil::PlacePort(table.get(), m.position, i, m.number);
        if (!m.placed) anyLeftOut = true;
    }
    if (anyLeftOut) {
        for (uint32_t i = 0; i < members.size(); ++i) {
            int32_t number = 0;
            if (mioutil::AssignedNumber(*table, i, &number)) continue;
            if (members[i].readable) mioutil::LeaveOutNumber(table.get(), members[i].number);
        }
    }
    mioutil::SortPortNumbers(table.get());
    for (uint32_t i = 0; i < members.size(); ++i) {
        members[i].renamed = mioutil::AssignedNumber(*table, i, &members[i].handed);
    }

    std::map<int32_t, int> held;    // numbers of the renamed ports before the re-map
    std::map<int32_t, int> handed;  // numbers handed out
    std::map<int32_t, int> kept;    // numbers of the readable ports that keep their names
    std::map<int32_t, int> readable;
    std::map<uint32_t, int> positions;
    std::vector<const Member*> order;
    for (const Member& m : members) {
        if (m.readable) {
            ++readable[m.number];
            ++positions[m.position];
        }
        if (m.renamed) {
            FUZZ_CHECK(m.readable && m.placed && m.handed != 0);
            ++held[m.number];
            ++handed[m.handed];
            order.push_back(&m);
        } else if (m.readable) {
            ++kept[m.number];
        }
    }
    FUZZ_CHECK(held == handed);
    for (const auto& entry : handed) {
        FUZZ_CHECK(entry.second == 1);
        FUZZ_CHECK(kept.count(entry.first) == 0);
    }
    std::sort(order.begin(), order.end(), [](const Member* a, const Member* b) { return a->position < b->position; });
    for (size_t k = 1; k < order.size(); ++k) {
        FUZZ_CHECK(order[k - 1]->position < order[k]->position);
        FUZZ_CHECK(static_cast<uint32_t>(order[k - 1]->handed) < static_cast<uint32_t>(order[k]->handed));
    }
    // Nothing is held back without cause: a port with a slot and a non-zero number of its own is renamed.
    for (const Member& m : members) {
        if (m.readable && m.position < mioutil::kPortSlots && positions[m.position] == 1 && m.number != 0 &&
            readable[m.number] == 1) {
            FUZZ_CHECK(m.renamed);
        }
    }

    // The whole re-map over the same ports.
    Ports ports;
    ports.members = &members;
    for (const Member& m : members) ports.holds.push_back(m.number);
    ports.collectWorks = (in.Byte() & 1) == 0;
    ports.heldElsewhere = static_cast<int8_t>(in.Byte());
    mioutil::RemapCalls calls = {&ports, Select, ReadNumber, ReadLocation, CollectHeld, WriteAndRestart, nullptr};
    mioutil::RenumberPorts(calls);
    for (size_t i = 0; i < members.size(); ++i) {
        const Member& m = members[i];
        FUZZ_CHECK(ports.holds[i] == m.number || (m.renamed && ports.holds[i] == m.handed));
    }

    // The restart order of the renamed ports' moves, in member order.
    std::vector<mioutil::PortMove> moves;
    int32_t highest = 0;
    for (uint32_t i = 0; i < members.size(); ++i) {
        if (!members[i].renamed) continue;
        moves.push_back({i, members[i].number, members[i].handed});
        highest = std::max({highest, members[i].number, members[i].handed});
    }
    const uint32_t count = static_cast<uint32_t>(moves.size());
    for (const int32_t temporary : {0, highest < INT32_MAX ? highest + 1 : 0}) {
        FUZZ_CHECK(mioutil::CheckRestartOrder(moves.data(), count, temporary) == nullptr);
    }
    return 0;
}
