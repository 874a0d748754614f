// Any bytes as a plan record: taken only when they are one whole record that
// makes sense, which then writes back to the very same bytes.
#include <algorithm>

#include "devices/remap_plan.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static mioutil::RemapPlan plan;
    static uint8_t again[mioutil::kPlanRecordBytes];
    if (!mioutil::ReadPlanRecord(data, size, &plan)) return 0;
    FUZZ_CHECK(mioutil::WritePlanRecord(plan, again, sizeof(again)) == size);
    FUZZ_CHECK(std::equal(data, data + size, again));
    return 0;
}
