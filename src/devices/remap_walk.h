// The sequence of the COM port re-map: pass 1, the left-out rule, the sort, and
// the order in which the placed ports are renamed and restarted. Pure header:
// no <windows.h>; the system calls come in as small functions.
#pragma once

#include <cstdint>

#include "devices/port_table.h"
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

/// Every placed port once, plus one temporary step per cycle of moves.
inline constexpr uint32_t kMaxRestartSteps = kPortSlots + kPortSlots / 2;

struct RestartPlan {
    RestartStep step[kMaxRestartSteps];
    uint32_t count;
};

/// Whether the moves hold a cycle (ports taking each other's numbers), which
/// only a temporary name can break.
bool NeedsTemporaryName(const PortMove* moves, uint32_t count);

/// The order of the renames. A port's driver takes its COM name when it
/// restarts, and cannot while another port still holds that name, so a port
/// is restarted only once no other port holds the number it is to take. Moves
/// are given in member order, with distinct `from` numbers and distinct `to`
/// numbers. Each pass goes through the ports still to be restarted in member
/// order and restarts every one whose number is free by then. When a pass
/// restarts none, the rest form cycles: the first of them first takes
/// `temporary`, a number no port holds or takes, which frees its own for the
/// port before it in the cycle; it takes its real number last. With
/// `temporary` 0 the ports of that cycle keep their names and are not restarted.
void RestartOrder(const PortMove* moves, uint32_t count, int32_t temporary, RestartPlan* plan);

/// Fills `held` with the COM numbers that device nodes hold or the COM-port
/// database reserves. False when that cannot be known.
using CollectHeldNumbersFn = bool (*)(void* context, ComNumberSet* held);
/// Reads a number of the member last selected; false when it cannot be read.
using ReadMemberNumberFn = bool (*)(void* context, int32_t* number);
/// Writes the COM name and friendly name of `number` to the member last selected, and restarts it.
using WriteAndRestartFn = void (*)(void* context, int32_t number);

/// What the run log is told of a port that keeps its name, and of a spare name.
enum class PortNote : uint32_t {
    kNoReadableName,       // no "PortName" could be read: passed over
    kNoNumber,             // its name gives the number 0
    kPastLastSlot,         // its position in card order is past the 256th
    kPositionTaken,        // an earlier port holds its position
    kNumberHeldTwice,      // an earlier port holds the same number
    kNumberKeptByLeftOut,  // a port left out keeps the number it holds
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
    CollectHeldNumbersFn collectHeldNumbers;  // asked only when the moves hold a cycle
    WriteAndRestartFn writeAndRestart;
    ReportPortFn report;                      // may be null
};

/// The whole re-map of one port node set: pass 1 places each readable number
/// at its port's position, the left-out rule and the sort follow, then every
/// placed port is renamed and restarted in RestartOrder, with the lowest number
/// neither held nor reserved as the temporary name.
void RenumberPorts(const RemapCalls& calls);

}  // namespace mioutil
