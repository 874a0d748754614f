// The restart order of any set of moves of up to a card's worth of ports, the
// numbers a permutation of their own (cycles) or with one number nobody holds
// (chains): it keeps every rule, with a spare number and without.
#include <utility>
#include <vector>

#include "devices/port_table.h"
#include "fuzz_check.h"
#include "restart_order_check.h"

namespace {
void Shuffle(FuzzedDataProvider& in, std::vector<int32_t>* numbers) {
    for (uint32_t i = static_cast<uint32_t>(numbers->size()) - 1; i > 0; --i) {
        std::swap((*numbers)[i], (*numbers)[in.ConsumeIntegralInRange<uint32_t>(0, i)]);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // Mostly a few ports, fast to fuzz; one input in sixteen up to a full card (241 to 256).
    const uint32_t ports = in.ConsumeIntegral<uint8_t>();
    const uint32_t count = ports < 240 ? 1 + ports % 24 : 1 + ports;
    std::vector<int32_t> from(count);
    for (uint32_t i = 0; i < count; ++i) from[i] = static_cast<int32_t>(10 + 2 * i);
    Shuffle(in, &from);
    std::vector<int32_t> to = from;
    Shuffle(in, &to);
    if (in.ConsumeBool()) {  // a port takes a number nobody holds, which turns a cycle into a chain
        to[in.ConsumeIntegralInRange<uint32_t>(0, count - 1)] =
            static_cast<int32_t>(11 + 2 * in.ConsumeIntegralInRange<uint32_t>(0, count - 1));
    }
    std::vector<mioutil::PortMove> moves;
    for (uint32_t i = 0; i < count; ++i) moves.push_back({i * 3 + 1, from[i], to[i]});
    for (const int32_t spare : {0, 1}) {
        const char* broken = mioutil::CheckRestartOrder(moves.data(), count, spare);
        if (broken != nullptr) std::fprintf(stderr, "spare %d: %s\n", spare, broken);
        FUZZ_CHECK(broken == nullptr);
    }
    return 0;
}
