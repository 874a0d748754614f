// Any bytes as a plan record: taken whole only when they are one, which then
// writes back to the very same bytes. A record taken whole is resolved against
// ports whose "PortName"s the rest of the input gives: it either agrees, and then
// agrees again as it now stands, or is left exactly as it was.
#include <algorithm>

#include "devices/remap_plan.h"
#include "fuzz_check.h"

namespace {
bool Same(const mioutil::RemapPlan& a, const mioutil::RemapPlan& b) {
    if (a.spare != b.spare || a.count != b.count) return false;
    for (uint32_t i = 0; i < a.count; ++i) {
        const mioutil::PlanPort& p = a.port[i];
        const mioutil::PlanPort& q = b.port[i];
        if (p.member != q.member || p.from != q.from || p.to != q.to || p.registry != q.registry || p.live != q.live ||
            p.fromExact != q.fromExact) {
            return false;
        }
    }
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static mioutil::RemapPlan plan, resolved;
    static mioutil::PlanId ids[mioutil::kPortSlots];
    static uint8_t again[mioutil::kPlanRecordBytes];
    FuzzedDataProvider in(data, size);
    const uint8_t names = in.ConsumeIntegral<uint8_t>();
    const bool sameBoot = in.ConsumeBool();
    const std::vector<uint8_t> record = in.ConsumeRemainingBytes<uint8_t>();
    uint64_t stamp = 0;
    if (mioutil::ReadPlanRecord(record.data(), record.size(), &plan, ids, &stamp) != mioutil::RecordRead::kWhole) return 0;
    FUZZ_CHECK(mioutil::WritePlanRecord(plan, ids, stamp, again, sizeof(again)) == record.size());
    FUZZ_CHECK(std::equal(record.begin(), record.end(), again));

    // Each port on a node of its own, showing the name its state gives it, or the
    // other of its names where the input says so.
    static mioutil::PortNameRead shown[mioutil::kPortSlots];
    for (uint32_t i = 0; i < plan.count; ++i) {
        plan.port[i].member = i;
        const mioutil::PlanPort& p = plan.port[i];
        const int32_t number = (names >> (i % 8) & 1) != 0 ? p.to : mioutil::NumberOf(plan, i, p.registry);
        shown[i] = {true, number, number, number};
    }
    resolved = plan;
    const mioutil::Resolution r = mioutil::ResolvePlan(&resolved, shown, sameBoot);
    if (r.stale != mioutil::StaleReason::kNone) {
        FUZZ_CHECK(Same(resolved, plan));
        return 0;
    }
    for (uint32_t i = 0; i < resolved.count; ++i) {
        const int32_t number = mioutil::NumberOf(resolved, i, resolved.port[i].registry);
        shown[i] = {true, number, number, number};
    }
    plan = resolved;
    FUZZ_CHECK(mioutil::ResolvePlan(&resolved, shown, sameBoot).stale == mioutil::StaleReason::kNone);
    FUZZ_CHECK(Same(resolved, plan));
    return 0;
}
