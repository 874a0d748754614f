// The whole re-map (RenumberPorts) over any set of ports, judged by what it
// wrote: no port is ever given a number another port holds at that moment, no
// number ends with two ports, the renamed ports end with exactly the numbers
// they held, ascending in card order, and a port with a slot and a number of its
// own is renamed. A spare name is never one another device holds. Busy ports and
// a run cut short at any restart change nothing of that once the next run after
// a reboot is done.
#include <algorithm>
#include <map>
#include <vector>

#include "devices/port_table.h"
#include "fake_ports.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const uint8_t busy = in.ConsumeIntegral<uint8_t>();   // which of the first eight ports a program holds open
    const uint8_t cutAt = in.ConsumeIntegral<uint8_t>();  // the restart a run is cut short at (0: none)
    const bool collectWorks = in.ConsumeBool();           // whether the database answers
    const int32_t heldElsewhere = static_cast<int8_t>(in.ConsumeIntegral<uint8_t>());  // by another device
    // Mostly small values, so that positions and numbers collide; now and then any 32-bit value.
    auto value = [&in](bool wide) {
        return wide ? static_cast<int32_t>(in.ConsumeIntegral<uint32_t>()) : static_cast<int8_t>(in.ConsumeIntegral<uint8_t>());
    };
    std::vector<mioutil::FakeMember> ports;
    while (in.remaining_bytes() > 0 && ports.size() < 400) {
        const uint8_t flags = in.ConsumeIntegral<uint8_t>();
        mioutil::FakeMember m = {0, (flags & 2) == 0, 0, (flags & 1) == 0};
        m.location = value((flags & 4) != 0);
        m.number = value((flags & 8) != 0);
        ports.push_back(m);
    }

    mioutil::FakePorts clean(ports);
    clean.collectWorks = collectWorks;
    clean.heldElsewhere = {heldElsewhere};
    clean.Run();
    FUZZ_CHECK(clean.collisions == 0 && clean.record.empty());

    // What the quiet run did: the ports it restarted, and each port's name at the end.
    std::vector<bool> renamed(ports.size());
    for (const auto& write : clean.writes) renamed[write.first] = true;
    std::map<int32_t, int> before, after, held, readable;
    std::map<uint32_t, int> atPosition;
    std::vector<std::pair<uint32_t, int32_t>> inCardOrder;  // (position, number at the end)
    uint32_t baseIndex = 0;
    for (uint32_t i = 0; i < ports.size(); ++i) {
        const mioutil::FakeMember& m = ports[i];
        if (!m.readable) FUZZ_CHECK(!renamed[i]);
        if (!m.readable) continue;
        const uint32_t position = mioutil::PortPosition(i, m.located, m.location, &baseIndex);
        ++held[clean.live[i]];
        ++readable[m.number];
        ++atPosition[position];
        if (!renamed[i]) FUZZ_CHECK(clean.live[i] == m.number);
        if (!renamed[i]) continue;
        ++before[m.number];
        ++after[clean.live[i]];
        inCardOrder.push_back({position, clean.live[i]});
    }
    FUZZ_CHECK(before == after);
    for (const auto& entry : after) FUZZ_CHECK(entry.second == 1 && held[entry.first] == 1);
    std::sort(inCardOrder.begin(), inCardOrder.end());
    for (size_t k = 1; k < inCardOrder.size(); ++k) {
        FUZZ_CHECK(inCardOrder[k - 1].first < inCardOrder[k].first);
        FUZZ_CHECK(static_cast<uint32_t>(inCardOrder[k - 1].second) < static_cast<uint32_t>(inCardOrder[k].second));
    }
    // Nothing is held back without cause: a port with a slot of its own and a
    // non-zero number of its own is renamed (when a spare name can be found).
    baseIndex = 0;
    for (uint32_t i = 0; i < ports.size() && collectWorks; ++i) {
        const mioutil::FakeMember& m = ports[i];
        if (!m.readable) continue;
        const uint32_t position = mioutil::PortPosition(i, m.located, m.location, &baseIndex);
        if (position < mioutil::kPortSlots && atPosition[position] == 1 && m.number != 0 && readable[m.number] == 1) {
            FUZZ_CHECK(renamed[i]);
        }
    }
    // A spare name is never one another device holds; a number a card port held
    // all along may be (a name two devices already shared stays shared).
    for (const auto& write : clean.writes) FUZZ_CHECK(readable.count(write.second) != 0 || write.second != heldElsewhere);

    // Busy ports and a run cut short, which the next run finishes.
    mioutil::FakePorts rough(ports);
    rough.collectWorks = collectWorks;
    rough.heldElsewhere = clean.heldElsewhere;
    for (size_t i = 0; i < 8 && i < ports.size(); ++i) rough.members[i].busy = (busy >> i) & 1;
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
    return 0;
}
