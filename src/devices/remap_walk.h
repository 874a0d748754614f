// The sequence of the COM port re-map: pass 1, the left-out rule, the sort, and
// the order in which the placed ports are renamed and restarted. Pure header:
// no <windows.h>; the system calls come in through RemapSystem.
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

/// What the run log is told of a port that is not renamed, and why.
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
};

/// What the re-map asks of the system: the port node set and its selected member,
/// the other devices, the COM-port database, the plan's record and the run log.
/// Abstract so that the tests can put a fake port set in its place (fake_ports.h).
struct RemapSystem {
    /// Selects member `index` of the port node set; false past the last member.
    virtual bool Select(uint32_t index) = 0;
    /// The selected member's "PortName" number; false when it cannot be read.
    virtual bool ReadComNumber(int32_t* number) = 0;
    /// The selected member's position from its location information; false when it has none.
    virtual bool ReadLocationNumber(int32_t* number) = 0;
    /// How the selected member's names stand beside `number`'s.
    virtual NameMatch MatchNames(int32_t number) = 0;
    /// Whether a device node outside the port node set holds "COM<number>", or the
    /// serial ports' live names show another device with it.
    virtual bool HeldElsewhere(int32_t number) = 0;
    /// Fills `held` with the COM numbers that device nodes hold, the COM-port
    /// database reserves or the serial ports' live names use; false when that
    /// cannot be known. Asked only when the moves hold a cycle.
    virtual bool CollectHeldNumbers(ComNumberSet* held) = 0;
    /// Reserves the spare in the COM-port database for as long as the plan lives.
    virtual bool ClaimSpare(int32_t number) = 0;
    virtual void ReleaseSpare(int32_t number) = 0;
    /// Records the plan where a later run finds it, before the first change and
    /// after each change of a port's state; false when it cannot.
    virtual bool SavePlan(const RemapPlan& plan) = 0;
    virtual void DropPlan() = 0;
    /// Writes port i of the plan the names of `number` and restarts it.
    virtual RestartOutcome WriteAndRestart(const RemapPlan& plan, uint32_t i, int32_t number) = 0;
    /// Writes port i its final names without a restart: its new name is held by
    /// port `holder`, which keeps it until the next reboot.
    virtual void WriteForReboot(const RemapPlan& plan, uint32_t i, uint32_t holder) = 0;
    /// Port i keeps its name, unwritten: its cycle has no spare name.
    virtual void Keep(const RemapPlan& plan, uint32_t i) = 0;
    /// Tells the run log about member `member` (`number`: the number it holds, or the spare).
    virtual void Report(uint32_t member, PortNote note, int32_t number) = 0;

protected:
    ~RemapSystem() = default;  // never owned through this type: no heap, no virtual destructor
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
bool WalkPlan(RemapPlan* plan, RemapSystem& system);

/// The order of the renames where every restart succeeds: the steps WalkPlan
/// takes for the moves (given in member order, with distinct `from` numbers and
/// distinct `to` numbers) with `spare` as the spare name (0: none).
void RestartOrder(const PortMove* moves, uint32_t count, int32_t spare, RestartPlan* plan);

/// The whole re-map of one port node set: pass 1 places each readable number
/// at its port's position, the left-out rule and the sort follow. A port whose
/// names are already final is left alone; one that would be renamed to a COM
/// name another device holds keeps its name, and the numbers are sorted again
/// without it. The other ports become the plan, which is recorded, walked
/// (WalkPlan) with the lowest number nobody holds or reserves as the spare, and
/// dropped with the spare once every port holds its final name.
void RenumberPorts(RemapSystem& system);

/// Finishes a plan an earlier run left (its members resolved in this run's set):
/// walks it, then drops it with its spare where every port ends with its final
/// name or kept its own. Returns whether it did.
bool FinishPlan(RemapPlan* plan, RemapSystem& system);

}  // namespace mioutil
