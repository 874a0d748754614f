// The whole re-map (RemapPorts) over any set of ports in the model of the
// machine (fake_ports.h), judged by what it left: no driver ever takes a name
// another holds, no number ends with two ports, the renamed ports end with
// exactly the numbers they held, ascending in card order, and a port with a slot
// and a number of its own is renamed. Restarts left for a reboot and a run cut
// short at any change, as the input has them, change nothing of that once the
// runs after it (and a reboot where one is due) are done.
#include <algorithm>
#include <map>
#include <vector>

#include "devices/port_table.h"
#include "fake_ports.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const bool databaseWorks = in.ConsumeBool();
    const int32_t foreign = static_cast<int8_t>(in.ConsumeIntegral<uint8_t>());  // held by another device
    const uint8_t how = in.ConsumeIntegral<uint8_t>();  // as a node, or only as a live name
    const std::vector<uint8_t> rough = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 64));
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
        m.style = (flags & 0x30) == 0x30 ? mioutil::Style::kLpt : mioutil::Style::kExact;
        m.friendly = (flags & 0x40) != 0;
        ports.push_back(m);
    }
    auto machine = [&] {
        mioutil::FakePorts f(ports);
        f.databaseWorks = databaseWorks;
        (how % 2 == 0 ? f.foreignNode : f.foreignLive) = foreign > 0 ? foreign : 0;
        f.quiet = false;
        return f;
    };

    mioutil::FakePorts clean = machine();
    clean.Run();
    FUZZ_CHECK(clean.broken.empty() && clean.record.empty() && !clean.RebootDue());

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
        ++held[clean.live[i].number];
        ++readable[m.number];
        ++atPosition[position];
        if (!renamed[i]) FUZZ_CHECK(clean.live[i].number == m.number);
        if (!renamed[i]) continue;
        ++before[m.number];
        ++after[clean.live[i].number];
        inCardOrder.push_back({position, clean.live[i].number});
    }
    FUZZ_CHECK(before == after);
    for (const auto& entry : after) FUZZ_CHECK(entry.second == 1 && held[entry.first] == 1);
    std::sort(inCardOrder.begin(), inCardOrder.end());
    for (size_t k = 1; k < inCardOrder.size(); ++k) {
        FUZZ_CHECK(inCardOrder[k - 1].first < inCardOrder[k].first);
        FUZZ_CHECK(static_cast<uint32_t>(inCardOrder[k - 1].second) < static_cast<uint32_t>(inCardOrder[k].second));
    }
    // Nothing is held back without cause: a port with a slot of its own and a
    // number of its own, 1 to 4096 and held by no other device, is renamed or was
    // in place (when a spare name can be found).
    baseIndex = 0;
    for (uint32_t i = 0; i < ports.size() && databaseWorks; ++i) {
        const mioutil::FakeMember& m = ports[i];
        if (!m.readable) continue;
        const uint32_t position = mioutil::PortPosition(i, m.located, m.location, &baseIndex);
        const bool inPlace = m.friendly && m.style == mioutil::Style::kExact && clean.live[i].number == m.number;
        if (position < mioutil::kPortSlots && atPosition[position] == 1 && m.number >= 1 &&
            m.number <= mioutil::kComNumberLimit && readable[m.number] == 1 && foreign <= 0 && !inPlace) {
            FUZZ_CHECK(renamed[i]);
        }
    }

    // Restarts left for a reboot and a run cut short, as the input says; then
    // runs in which every restart happens, with a reboot where one is due.
    mioutil::FakePorts shaken = machine();
    size_t next = 0;
    shaken.choose = [&](uint32_t options) { return next < rough.size() ? rough[next++] % options : 0u; };
    shaken.Run();
    shaken.choose = nullptr;
    FUZZ_CHECK(shaken.broken.empty());
    shaken.Run();
    if (shaken.RebootDue()) shaken.Reboot();
    shaken.Run();
    FUZZ_CHECK(shaken.broken.empty() && shaken.record.empty() && !shaken.RebootDue());
    FUZZ_CHECK(shaken.live == clean.live);
    return 0;
}
