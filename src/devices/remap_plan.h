// The re-map's plan as it is kept on the machine while the re-map runs: for each
// port the number it held, the number it ends with, the name in its "PortName"
// and the names its driver may hold now, and the spare name. A run cut short
// leaves it behind, and the next run finishes it where it agrees with the machine.
// Pure header: no <windows.h>; the record is bytes, read and written elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>

#include "devices/port_table.h"

namespace mioutil {

/// COM numbers 1 to kComNumberLimit (the most the COM-port database arbitrates).
inline constexpr int32_t kComNumberLimit = 4096;

/// Room for a device instance ID in UTF-16 code units (MAX_DEVICE_ID_LEN), its end included.
inline constexpr uint32_t kPlanIdUnits = 200;

/// One of the three names a port of a plan can have.
enum class PlanName : uint8_t {
    kFrom = 0,   // the one it had when the re-map began
    kSpare = 1,  // the plan's spare, while its cycle moves
    kTo = 2,     // its final one
};

inline constexpr PlanName kPlanNames[] = {PlanName::kFrom, PlanName::kSpare, PlanName::kTo};

/// A set of PlanNames, one bit each.
using NameSet = uint8_t;
constexpr NameSet Only(PlanName name) { return static_cast<NameSet>(1u << static_cast<uint8_t>(name)); }

struct PlanPort {
    uint32_t member;     // in this run's port node set; not kept in the record
    int32_t from;        // the number it held when the re-map began
    int32_t to;          // the number it ends with
    PlanName registry;   // the name its "PortName" holds now
    NameSet live;        // what its driver may hold now: one name, or two while a step is in doubt
    bool fromExact;      // its "PortName" was exactly COM<from> when the re-map began (not LPT2, COM02)
};

struct RemapPlan {
    int32_t spare;  // 0: none
    uint32_t count;
    PlanPort port[kPortSlots];
};

/// The number a name of port i stands for (the spare's is the plan's).
int32_t NumberOf(const RemapPlan& plan, uint32_t i, PlanName name);
/// Whether port i's driver may hold `number` now.
bool MayHold(const RemapPlan& plan, uint32_t i, int32_t number);
/// Port i holds its final name in its "PortName" and its driver holds it.
bool IsDone(const PlanPort& port);
/// A run cut short may have left the port on either of two names.
bool InDoubt(const PlanPort& port);
/// Port i is as it was before the plan: its "PortName" untouched, its driver on it.
bool IsUntouched(const PlanPort& port);

/// A port's instance ID as the record keeps it.
struct PlanId {
    uint32_t length;  // in code units, without an end; 1 to kPlanIdUnits - 1
    uint16_t units[kPlanIdUnits];
};

/// The most bytes a record takes.
inline constexpr size_t kPlanRecordBytes = 24 + kPortSlots * (16 + 2 * kPlanIdUnits) + 4;

/// The record of a plan with its ports' instance IDs: little-endian, ending with
/// a check sum over all before it; `bootStamp` is the value of the boot's marker
/// it was written under. Linear in the ports. Returns its length, or 0 where
/// the plan has no port or more than kPortSlots, an ID is empty or too long, or
/// it does not fit `capacity`.
size_t WritePlanRecord(const RemapPlan& plan, const PlanId* ids, uint64_t bootStamp, uint8_t* out, size_t capacity);

enum class RecordRead : uint32_t {
    kWhole,      // every field, the check sum right
    kSpareOnly,  // the head is readable and names its spare (or none), the rest is not
    kDamaged,    // not even that
};

/// Reads a record back: the plan (members left 0), its IDs and its boot stamp.
/// Only the form is checked here; whether the plan makes sense, and agrees with
/// the machine, is ResolvePlan's.
RecordRead ReadPlanRecord(const uint8_t* bytes, size_t size, RemapPlan* plan, PlanId* ids, uint64_t* bootStamp);

/// Why a plan an earlier run left is not acted on.
enum class StaleReason : uint32_t {
    kNone,
    kNotTheCardsNumbers,  // a number outside 1..4096, `to` numbers that are not a permutation of
                          // the `from` numbers, or a spare that is one of them
    kSameIdTwice,         // two ports on one node
    kNamesDoNotAdd,       // two ports on one name, in "PortName" or live, or a state no run leaves
    kPortDisagrees,       // `port`'s "PortName" is not the name its state gives it
};

struct Resolution {
    StaleReason stale;
    uint32_t port;   // the port that disagrees
    uint32_t ahead;  // the port a run cut short may have left a step ahead; the plan's count for none
};

/// Takes the states of a plan an earlier run left from the machine; `names[i]` is
/// what port i's "PortName" reads now. Within the boot the record was written in
/// (`sameBoot`) each driver holds what the record says, but for one port whose
/// "PortName" is a step past its recorded state (a name the re-map writes next):
/// that run may have been cut short before or after its restart, so its driver
/// may hold either name until it is restarted again. After a reboot every driver
/// holds its "PortName". Changes `plan` only where the whole of it agrees.
Resolution ResolvePlan(RemapPlan* plan, const PortNameRead* names, bool sameBoot);

/// Whether two instance IDs are the same, their letters compared without regard to case, as Windows compares them.
bool SameId(const PlanId& a, const PlanId& b);

}  // namespace mioutil
