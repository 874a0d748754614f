// The decisions of the COM port re-map: pass 1, the left-out rule, the sort, the
// held-elsewhere rule, the order of the renames and restarts, and a plan an
// earlier run left. Pure header: no <windows.h>; the system comes in through
// RemapSystem.
//
// One rule answers "what does this port's driver hold now?" for every decision:
// without a plan, and after a reboot, its "PortName"; while a plan is recorded in
// this boot, what the plan says (remap_plan.h).
#pragma once

#include <cstdint>

#include "devices/port_table.h"
#include "devices/remap_plan.h"
#include "devices/restart_walk.h"

namespace mioutil {

/// A set of COM numbers 1 to kComNumberLimit; zero-filled it is empty.
struct ComNumberSet {
    uint8_t bits[kComNumberLimit / 8];
};

/// Adds a number to the set; numbers outside 1 to kComNumberLimit are ignored.
void MarkComNumber(ComNumberSet* set, int32_t number);
bool HoldsComNumber(const ComNumberSet& set, int32_t number);
/// The lowest number above 0 not in the set; 0 when every one is.
int32_t LowestFreeComNumber(const ComNumberSet& set);

/// How often each number 1 to kComNumberLimit occurs, saturated at 255; zero-filled it is empty.
struct NumberCounts {
    uint8_t count[kComNumberLimit + 1];
    void Add(int32_t number);
    uint8_t Of(int32_t number) const;
};

/// Who holds a COM name on the machine: every device node (present or not, the
/// card's ports among them) by its "PortName", and every live name the serial
/// ports' drivers publish (SERIALCOMM).
struct HolderCounts {
    NumberCounts nodesExact;    // "PortName" exactly COM<n>
    NumberCounts nodesReading;  // "PortName" reads as n (LPT2 and COM02 read as 2)
    NumberCounts liveExact;     // a live name exactly COM<n>
    NumberCounts liveReading;   // a live name that reads as n
};

/// Who holds a name beyond the port node set itself: the machine's holders, less
/// what the set's own ports hold in "PortName" and (once each) may hold live.
struct NameHolders {
    HolderCounts all;
    bool listed;  // false: the nodes could not be listed, and every name counts as held
    NumberCounts ownExact;
    NumberCounts ownReading;
    NumberCounts ownLive;
    /// A device outside the set holds COM<number>: a node's "PortName", or a live name.
    bool HeldElsewhere(int32_t number) const;
};

/// What the run log and "-Status" are told of a port, and why.
enum class PortNote : uint32_t {
    // Pass 1 and the rules that keep a port as it is.
    kNoReadableName,       // no "PortName" could be read: passed over
    kNoNumber,             // its name gives the number 0
    kPastLastSlot,         // its position in card order is past the 256th
    kPositionTaken,        // an earlier port holds its position
    kNumberHeldTwice,      // an earlier port holds the same number
    kNumberKeptByLeftOut,  // a port left out keeps the number it holds
    kNameHeldElsewhere,    // another device holds COM<number>, the name it would take
    kInPlace,              // its names are already the final ones: not written, not restarted
    kCycleWithoutSpare,    // its number is in a cycle, and no spare name is free
    kCycleNotRecorded,     // its number is in a cycle, and the plan could not be recorded
    // The walk.
    kTakesSpare,         // it takes the spare COM<number> first, so that its cycle can move
    kRestarted,          // written COM<number> and restarted
    kDeferred,           // written COM<number>, its restart left for the next reboot (in use)
    kFailed,             // written COM<number>, the class installer failed
    kNotWritten,         // COM<number> could not be written: left as it was
    kWrittenForReboot,   // written COM<number> for the reboot: port `other` holds it until then
    kStillWaits,         // its "PortName" is COM<number> already, port `other` holds it until the reboot
    kStopped,            // not touched: the plan could not be recorded after the last step
};

/// What the run log is told of a plan an earlier run left.
enum class PlanNote : uint32_t {
    kDamaged,         // cannot be read whole, nor its spare
    kUnreadable,      // cannot be read whole; its spare is known
    kPortGone,        // names a port that is not in the set (`port`)
    kStale,           // disagrees with the machine (`why`, `port`)
    kUntouched,       // no port had moved yet: dropped, the re-map starts again
    kFinishing,       // agrees with the machine and is finished now
    kFinished,        // every port holds its final name, or kept its own
    kWaits,           // ports still wait for a reboot: no new re-map until a run finishes it
    kCannotRecord,    // what was taken from the machine could not be recorded: left for the next run
    kPortsRemoved,    // its ports were removed with the card's nodes: dropped
    kNotRecorded,     // a new plan could not be recorded: no spare name is used
    kSpareKept,       // its spare stays reserved: something else may hold it (`port`: 1 when that cannot be known)
};

/// What ReadPlan found.
struct LeftPlan {
    enum Kind : uint32_t { kNone, kDamaged, kSpareOnly, kPortGone, kWhole } kind;
    bool sameBoot;  // written in this boot: its marker is still there, with the record's stamp
    uint32_t gone;  // the port whose node is not in the set (kPortGone)
};

/// What the re-map asks of the system: the port node set by member index, the
/// other devices, the COM-port database, the plan's record and the run log.
/// Abstract so that the tests can put a model of the machine in its place.
struct RemapSystem {
    /// Whether the port node set has member `member` (it has 0, 1, 2, ... up to its size).
    virtual bool Exists(uint32_t member) = 0;
    /// Its "PortName" as read for writing: unreadable where the device key does
    /// not open with full access or the value is not there.
    virtual PortNameRead ReadPortName(uint32_t member) = 0;
    /// Its location number; false where it has no location information.
    virtual bool ReadLocationNumber(uint32_t member, int32_t* number) = 0;
    /// Whether its friendly name is already the one of COM<number>.
    virtual bool FriendlyNameIs(uint32_t member, int32_t number) = 0;
    /// Counts who holds which name (adds to `counts`); false when the nodes cannot be listed.
    virtual bool CountHolders(HolderCounts* counts) = 0;
    /// Adds the numbers the COM-port database reserves; false when that cannot be read.
    virtual bool ReadReserved(ComNumberSet* reserved) = 0;
    /// Reserves, or lets go of, the spare in the COM-port database.
    virtual bool ClaimSpare(int32_t number) = 0;
    virtual bool ReleaseSpare(int32_t number) = 0;
    /// The plan an earlier run left, each port's member found by its instance ID.
    virtual LeftPlan ReadPlan(RemapPlan* plan) = 0;
    /// Records the plan where a later run finds it, under this boot's marker;
    /// `fresh`: a new plan, whose instance IDs are its ports' members'.
    virtual bool SavePlan(const RemapPlan& plan, bool fresh) = 0;
    virtual bool DropPlan() = 0;
    /// Writes its "PortName" COM<number> and the friendly name that goes with it;
    /// false when "PortName" could not be written.
    virtual bool WriteNames(uint32_t member, int32_t number) = 0;
    virtual RestartOutcome Restart(uint32_t member) = 0;
    /// Tells the run log about a port (`other`: another member the note names).
    virtual void Report(uint32_t member, PortNote note, int32_t number, uint32_t other) = 0;
    /// Tells the run log about a plan an earlier run left (`port`: one of its ports).
    virtual void ReportPlan(PlanNote note, const RemapPlan& plan, StaleReason why, uint32_t port) = 0;

protected:
    ~RemapSystem() = default;  // never owned through this type: no heap, no virtual destructor
};

/// What a re-map left for the run log's last line and for "-Status".
struct RemapSummary {
    bool rebootNeeded;  // a port was not restarted onto its new name in this run
    bool planLeft;      // a plan stays recorded: it waits for a reboot or for the next run
};

/// The whole re-map of one port node set. A plan an earlier run left is finished
/// first where it agrees with the machine, or else let go of (its spare released
/// only where nothing else holds it); a plan that still waits for a reboot stops
/// the re-map there. Then pass 1 places each readable number at its port's
/// position; the left-out rule and the sort follow. A port whose names are
/// already final is left alone; one that would be renamed to a COM name another
/// device holds keeps its name, and the numbers are sorted again without it. The
/// other ports become the plan, which is recorded (when a cycle needs the spare),
/// walked, and dropped with its spare once every port holds its final name.
RemapSummary RemapPorts(RemapSystem& system);

/// Lets go of a plan whose ports were removed: its spare is released where
/// nothing else holds it, and it is dropped.
void LetGoOfPlan(RemapSystem& system);

/// Walks a plan's renames and restarts. A port is restarted onto a name only
/// once no other port's driver may hold it; each pass goes through the ports
/// still to be moved in plan order. When a pass moves none, a port whose name is
/// held until the reboot by a port that will not move in this run (its restart
/// was deferred or failed) is written its final name for that reboot, not
/// restarted; else the first port of a cycle takes the spare, which frees its own
/// number for the port before it; else the rest keep what they have. Each step
/// is recorded (`recorded`) before the next port is touched; where that fails the
/// walk stops. `holders`: who holds a name outside the set (null: none is looked
/// for, the plan's targets were checked when it was made). Returns whether every
/// port ended done or untouched.
bool WalkPlan(RemapPlan* plan, RemapSystem& system, bool recorded, const NameHolders* holders,
              RemapSummary* summary);

}  // namespace mioutil
