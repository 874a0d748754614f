// The re-map's plan as it is kept on the machine while the re-map runs: each
// port's instance ID, the number it held, the number it is to end with and which
// of them its driver holds now, and the spare name. A run cut short leaves it
// behind, and the next run finishes that re-map from it before anything else.
// Pure header: no <windows.h>; the record is bytes, read and written elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>

#include "devices/port_table.h"

namespace mioutil {

/// Room for a device instance ID in UTF-16 code units (MAX_DEVICE_ID_LEN), its end included.
inline constexpr uint32_t kPlanIdUnits = 200;

/// Which name a port's driver holds now.
enum class PortState : uint32_t {
    kHoldsOld = 0,  // the name it had when the re-map began
    kOnSpare = 1,   // the plan's spare name, while its cycle moves
    kDone = 2,      // its final name
};

struct PlanPort {
    uint32_t member;  // in this run's port node set; not kept in the record
    int32_t from;     // the number it held when the re-map began
    int32_t to;       // the number it ends with
    PortState state;
    uint32_t idLength;  // in code units, without an end
    uint16_t id[kPlanIdUnits];
};

struct RemapPlan {
    int32_t spare;  // 0: none
    uint32_t count;
    PlanPort port[kPortSlots];
};

/// The most bytes a record takes.
inline constexpr size_t kPlanRecordBytes = 16 + kPortSlots * (16 + 2 * kPlanIdUnits) + 4;

/// The number port i's driver holds now.
int32_t HeldNumber(const RemapPlan& plan, uint32_t i);

/// The record of a plan: little-endian, ending with a check sum over all before
/// it. Returns its length, or 0 where the plan does not fit `capacity` or is
/// not one that ReadPlanRecord would take.
size_t WritePlanRecord(const RemapPlan& plan, uint8_t* out, size_t capacity);

/// Reads a record back. False, and nothing to act on, unless the bytes are one
/// whole record (length and check sum) that makes sense: 1 to 256 ports with
/// distinct instance IDs, non-zero and distinct `from` numbers and `to` numbers,
/// a spare (1 to 4096) that is neither of them, and at most one port on it.
/// Members are left 0.
bool ReadPlanRecord(const uint8_t* bytes, size_t size, RemapPlan* plan);

}  // namespace mioutil
