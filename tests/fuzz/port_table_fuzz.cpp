// The re-map's table over any set of ports: no number goes to two ports, none to
// a port while another keeps it, exactly the numbers of the renamed ports are
// handed out, and they ascend in card order. Then the whole re-map (RenumberPorts)
// over the same ports: no port is ever given a number another port holds at that
// moment, each ends with its own number or the one handed to it, and the restart
// order keeps its rules with and without a spare number. Busy ports and a run
// cut short at any restart change nothing of that once the next run after a
// reboot is done. And any bytes read as a plan record are taken only whole.
#include <algorithm>
#include <map>
#include <vector>

#include "devices/port_table.h"
#include "devices/remap_walk.h"
#include "fake_ports.h"
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

// Mostly small values, so that positions and numbers collide; now and then any 32-bit value.
int32_t TakeValue(FuzzInput& in, bool wide) {
    return wide ? static_cast<int32_t>(in.Word()) : static_cast<int8_t>(in.Byte());
}

// Any bytes as a plan record: taken only when they are one whole record that
// makes sense, which then writes back to the very same bytes.
void CheckPlanRecord(const uint8_t* data, size_t size) {
    static mioutil::RemapPlan plan;
    static uint8_t again[mioutil::kPlanRecordBytes];
    if (!mioutil::ReadPlanRecord(data, size, &plan)) return;
    FUZZ_CHECK(mioutil::WritePlanRecord(plan, again, sizeof(again)) == size);
    FUZZ_CHECK(std::equal(data, data + size, again));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckPlanRecord(data, size);
    FuzzInput in{data, size};
    const uint8_t busy = in.Byte();    // which of the first eight ports a program holds open
    const uint8_t cutAt = in.Byte();   // the restart a run is cut short at (0: none)
    const uint8_t system = in.Byte();  // whether the database answers; a number another device holds
    const int8_t heldElsewhere = static_cast<int8_t>(in.Byte());
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

    // The whole re-map over the same ports, first as it runs on a quiet machine,
    // then with busy ports and a run cut short that the next run finishes.
    std::vector<mioutil::FakeMember> fakes;
    for (const Member& m : members) fakes.push_back({m.number, m.located, m.location, m.readable});
    mioutil::FakePorts clean(fakes);
    clean.collectWorks = (system & 1) == 0;
    clean.heldElsewhere = {heldElsewhere};
    clean.Run();
    FUZZ_CHECK(clean.collisions == 0 && clean.record.empty());
    for (size_t i = 0; i < members.size(); ++i) {
        const Member& m = members[i];
        FUZZ_CHECK(clean.live[i] == m.number || (m.renamed && clean.live[i] == m.handed));
    }
    // A spare name is never one another device holds; a number a card port held
    // all along may be (a name two devices already shared stays shared).
    for (const auto& write : clean.writes) {
        bool cardNumber = false;
        for (const Member& m : members) cardNumber = cardNumber || (m.readable && m.number == write.second);
        FUZZ_CHECK(cardNumber || write.second != heldElsewhere);
    }
    mioutil::FakePorts rough(fakes);
    rough.collectWorks = clean.collectWorks;
    rough.heldElsewhere = clean.heldElsewhere;
    for (size_t i = 0; i < 8 && i < fakes.size(); ++i) rough.members[i].busy = (busy >> i) & 1;
    rough.killAt = cutAt & 0x3F;
    rough.killBeforeLink = (cutAt & 0x40) != 0;
    rough.Run();
    rough.killAt = 0;
    FUZZ_CHECK(rough.Run() && rough.collisions == 0);
    // After a reboot, with nothing busy any more, the next run ends where the quiet one did.
    rough.Reboot();
    for (mioutil::FakeMember& m : rough.members) m.busy = false;
    FUZZ_CHECK(rough.Run() && rough.collisions == 0 && rough.record.empty());
    FUZZ_CHECK(rough.live == clean.live);

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
