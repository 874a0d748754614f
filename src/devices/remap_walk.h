// The sequence of the COM port re-map: pass 1, the left-out rule, the sort, and
// the order in which the placed ports are renamed and restarted. Pure header:
// no <windows.h>; the system calls come in as small functions.
#pragma once

#include <cstdint>

#include "devices/port_table.h"
#include "devices/remap_plan.h"
#include "devices/restart_walk.h"

namespace mioutil {

/// COM numbers 1 to kComNumberLimit (the most the COM-port database arbitrates).
inline constexpr int32_t kComNumberLimit = 4096;

/// A set of COM numbers 1 to kComNumberLimit; zero-filled it is empty.
struct ComNumberSet {
    uint8_t bits[kComNumberLimit / 8];
};

/// Adds a number to the set; numbers outside 1 to kComNumberLimit are ignored.
void MarkComNumber(ComNumberSet* set, int32_t number);
bool HoldsComNumber(const ComNumberSet& set, int32_t number);
/// The lowest number above 0 not in the set; 0 when every one is.
int32_t LowestFreeComNumber(const ComNumberSet& set);

/// One placed port: its member index, the number it holds and the number it is to take.
struct PortMove {
    uint32_t member;
    int32_t from;
    int32_t to;
};

/// One rename and restart: member `member` is written the name of `number`.
struct RestartStep {
    uint32_t member;
    int32_t number;
};

/// Every placed port once, plus one spare step per cycle of moves.
inline constexpr uint32_t kMaxRestartSteps = kPortSlots + kPortSlots / 2;

struct RestartPlan {
    RestartStep step[kMaxRestartSteps];
    uint32_t count;
};

/// Whether the moves hold a cycle (ports taking each other's numbers), which
/// only a spare name can break.
bool NeedsSpareName(const PortMove* moves, uint32_t count);

/// What a restart did: the port's driver took its new name, or it could not be
/// stopped (an application holds the port open) and Windows left the change for
/// the next reboot, or the class installer failed. In the last two the driver
/// still holds the name it had.
enum class RestartOutcome : uint32_t { kRestarted, kDeferred, kFailed };

/// How a port's names stand beside those of a number it is to end with.
enum class NameMatch : uint32_t {
    kRename,          // its "PortName" is not exactly that COM name (COM02 and LPT2 read as 2 too)
    kPortNameOnly,    // "PortName" is that COM name, the friendly name is not the final one
    kInPlace,         // both are already the final ones
};

/// The walk of a plan's restarts, and what it asks of the system, for port i of the plan.
struct PlanCalls {
    void* context;
    /// Writes port i the names of `number` and restarts it.
    RestartOutcome (*writeAndRestart)(void* context, const RemapPlan& plan, uint32_t i, int32_t number);
    /// Writes port i its final names without a restart: its new name is held by
    /// port `holder`, which keeps it until the next reboot.
    void (*writeForReboot)(void* context, const RemapPlan& plan, uint32_t i, uint32_t holder);
    /// Port i keeps its name, unwritten: its cycle has no spare name.
    void (*keep)(void* context, const RemapPlan& plan, uint32_t i);
    /// The plan changed (a port's state); it is to be recorded again.
    void (*save)(void* context, const RemapPlan& plan);
};

/// Walks a plan's restarts. A port is restarted only once no other port's driver
/// holds the number it is to take; each pass goes through the ports still to be
/// restarted in plan order. When a pass restarts none, the first port left
/// waits for a name that a port holds which will not move in this run (its
/// restart was deferred or failed): it is written its final name for the next
/// reboot, not restarted. Otherwise the rest form cycles: the first of them
/// first takes the plan's spare, which frees its own number for the port before
/// it; without a spare it keeps its name, unwritten, and so, pass by pass, do
/// the ports that wait for it. Returns true when every port ended with its
/// final name held (kDone) or kept its name.
bool WalkPlan(RemapPlan* plan, const PlanCalls& calls);

/// The order of the renames where every restart succeeds: the steps WalkPlan
/// takes for the moves (given in member order, with distinct `from` numbers and
/// distinct `to` numbers) with `spare` as the spare name (0: none).
void RestartOrder(const PortMove* moves, uint32_t count, int32_t spare, RestartPlan* plan);

/// Fills `held` with the COM numbers that device nodes hold, the COM-port
/// database reserves or the serial ports' live names use. False when that
/// cannot be known.
using CollectHeldNumbersFn = bool (*)(void* context, ComNumberSet* held);
/// Reads a number of the member last selected; false when it cannot be read.
using ReadMemberNumberFn = bool (*)(void* context, int32_t* number);

/// What the run log is told of a port that keeps its name, and of a spare name.
enum class PortNote : uint32_t {
    kNoReadableName,       // no "PortName" could be read: passed over
    kNoNumber,             // its name gives the number 0
    kPastLastSlot,         // its position in card order is past the 256th
    kPositionTaken,        // an earlier port holds its position
    kNumberHeldTwice,      // an earlier port holds the same number
    kNumberKeptByLeftOut,  // a port left out keeps the number it holds
    kNameHeldElsewhere,    // another device holds the COM name it would take (`number`)
    kInPlace,              // its names are already the final ones: not written, not restarted
    kCycleWithoutSpare,    // its number is in a cycle, and no spare name is free
    kSpareName,            // it is about to take `number` while its cycle moves
};
/// Tells the run log about member `member` (`number`: the number it holds, or the spare).
using ReportPortFn = void (*)(void* context, uint32_t member, PortNote note, int32_t number);

/// What the re-map asks of the system.
struct RemapCalls {
    void* context;
    SelectMemberFn select;                    // member `index` of the port node set
    ReadMemberNumberFn readComNumber;         // its "PortName"
    ReadMemberNumberFn readLocationNumber;    // its location information
    /// How the selected member's names stand beside `number`'s.
    NameMatch (*nameMatch)(void* context, int32_t number);
    /// Whether a device node outside the port node set holds "COM<number>", or the
    /// serial ports' live names show another device with it.
    bool (*heldElsewhere)(void* context, int32_t number);
    CollectHeldNumbersFn collectHeldNumbers;  // asked only when the moves hold a cycle
    /// Reserves the spare in the COM-port database for as long as the plan lives.
    bool (*claimSpare)(void* context, int32_t number);
    void (*releaseSpare)(void* context, int32_t number);
    /// Records the plan where a later run finds it, before the first change; false when it cannot.
    bool (*savePlan)(void* context, const RemapPlan& plan);
    void (*dropPlan)(void* context);
    PlanCalls walk;                           // its context is `context` too
    ReportPortFn report;
};

/// The whole re-map of one port node set: pass 1 places each readable number
/// at its port's position, the left-out rule and the sort follow. A port whose
/// names are already final is left alone; one that would be renamed to a COM
/// name another device holds keeps its name, and the numbers are sorted again
/// without it. The other ports become the plan, which is recorded, walked
/// (WalkPlan) with the lowest number nobody holds or reserves as the spare, and
/// dropped with the spare once every port holds its final name.
void RenumberPorts(const RemapCalls& calls);

/// Finishes a plan an earlier run left (its members resolved in this run's set):
/// walks it, then drops it with its spare where every port ends with its final
/// name or kept its own. Returns whether it did.
bool FinishPlan(RemapPlan* plan, const RemapCalls& calls);

}  // namespace mioutil
