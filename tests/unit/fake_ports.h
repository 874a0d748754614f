// A port node set as the re-map sees it, shared by the unit tests and the port
// table fuzz target. Each member has a registry name (its "PortName" number) and
// a live name (the COM name its driver holds, which moves only when a restart
// really happens); a restart onto a live name another member holds counts as a
// collision. Members can be busy (the restart is left for a reboot), other
// devices can hold names, and a run can be cut short after its Nth restart,
// leaving the plan as last recorded for the next run.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "devices/remap_plan.h"
#include "devices/remap_walk.h"

namespace mioutil {

struct FakeMember {
    int32_t number;
    bool located;
    int32_t location;
    bool readable = true;   // false: "PortName" cannot be read
    bool exact = true;      // "PortName" is exactly COM<number> (false: LPT2, COM02)
    bool friendly = false;  // the friendly name is already the one of its number
    bool busy = false;      // a program holds it: its restarts wait for a reboot
};

struct FakePorts {
    std::vector<FakeMember> members;
    std::vector<int32_t> live;                           // the name each member's driver holds
    std::vector<std::pair<uint32_t, int32_t>> writes;    // (member, number) restarted, in order
    std::vector<std::pair<uint32_t, int32_t>> forReboot; // written without a restart
    std::vector<int32_t> heldElsewhere;                  // other devices and the database
    std::vector<int32_t> namedElsewhere;                 // exact COM names other devices hold
    std::vector<std::pair<uint32_t, PortNote>> notes;    // what the run log was told
    std::vector<std::string> spareCalls;                 // "claim 3", "release 3"
    std::vector<uint8_t> record;                         // the plan as last recorded; empty: none
    bool collectWorks = true;
    int collects = 0;
    int collisions = 0;
    int killAt = 0;               // the restart at which the run is cut short; 0: never
    bool killBeforeLink = false;  // cut short after the names are written, before the link moves
    int restarts = 0;
    bool killed = false;
    uint32_t selected = 0;

    explicit FakePorts(std::vector<FakeMember> m = {}) { Reset(std::move(m)); }
    void Reset(std::vector<FakeMember> m) {
        members = std::move(m);
        live.clear();
        for (const FakeMember& member : members) live.push_back(member.number);
    }

    // Every member's driver takes the name in its registry.
    void Reboot() {
        for (size_t m = 0; m < members.size(); ++m) live[m] = members[m].number;
    }

    bool Collides(uint32_t self, int32_t number) const {
        for (size_t m = 0; m < members.size(); ++m) {
            if (m != self && members[m].readable && live[m] == number) return true;
        }
        return false;
    }

    void Write(uint32_t m, int32_t number) {
        members[m].number = number;
        members[m].exact = true;
        members[m].friendly = true;
    }

    static FakePorts& Of(void* context) { return *static_cast<FakePorts*>(context); }

    static bool Select(void* c, uint32_t index) {
        if (Of(c).killed || index >= Of(c).members.size()) return false;
        Of(c).selected = index;
        return true;
    }
    static bool ReadNumber(void* c, int32_t* number) {
        const FakeMember& m = Of(c).members[Of(c).selected];
        *number = m.number;
        return m.readable;
    }
    static bool ReadLocation(void* c, int32_t* location) {
        *location = Of(c).members[Of(c).selected].location;
        return Of(c).members[Of(c).selected].located;
    }
    static NameMatch Match(void* c, int32_t number) {
        const FakeMember& m = Of(c).members[Of(c).selected];
        if (!m.exact || m.number != number) return NameMatch::kRename;
        return m.friendly ? NameMatch::kInPlace : NameMatch::kPortNameOnly;
    }
    static bool NamedElsewhere(void* c, int32_t number) {
        for (int32_t n : Of(c).namedElsewhere) {
            if (n == number) return true;
        }
        return false;
    }
    static bool CollectHeld(void* c, ComNumberSet* held) {
        ++Of(c).collects;
        for (int32_t n : Of(c).heldElsewhere) MarkComNumber(held, n);
        for (int32_t n : Of(c).namedElsewhere) MarkComNumber(held, n);
        return Of(c).collectWorks;
    }
    static bool ClaimSpare(void* c, int32_t number) {
        Of(c).spareCalls.push_back("claim " + std::to_string(number));
        return true;
    }
    static void ReleaseSpare(void* c, int32_t number) {
        if (!Of(c).killed) Of(c).spareCalls.push_back("release " + std::to_string(number));
    }
    static bool SavePlan(void* c, const RemapPlan& plan) {
        if (Of(c).killed) return false;
        static RemapPlan withIds;
        withIds.spare = plan.spare;
        withIds.count = plan.count;
        for (uint32_t i = 0; i < plan.count; ++i) {
            withIds.port[i] = plan.port[i];
            const std::string id = "P" + std::to_string(plan.port[i].member);
            withIds.port[i].idLength = static_cast<uint32_t>(id.size());
            for (size_t u = 0; u < id.size(); ++u) withIds.port[i].id[u] = static_cast<uint16_t>(id[u]);
        }
        static uint8_t bytes[kPlanRecordBytes];
        const size_t size = WritePlanRecord(withIds, bytes, sizeof(bytes));
        Of(c).record.assign(bytes, bytes + size);
        return size != 0;
    }
    static void WalkSave(void* c, const RemapPlan& plan) { SavePlan(c, plan); }
    static void DropPlan(void* c) {
        if (!Of(c).killed) Of(c).record.clear();
    }
    static RestartOutcome Restart(void* c, const RemapPlan& plan, uint32_t i, int32_t number) {
        FakePorts& ports = Of(c);
        const uint32_t m = plan.port[i].member;
        if (ports.killed) return RestartOutcome::kFailed;
        ports.Write(m, number);
        ports.killed = ++ports.restarts == ports.killAt;
        if (ports.killed && ports.killBeforeLink) return RestartOutcome::kFailed;
        if (ports.members[m].busy) return RestartOutcome::kDeferred;
        if (ports.Collides(m, number)) ++ports.collisions;
        ports.live[m] = number;
        ports.writes.push_back({m, number});
        return RestartOutcome::kRestarted;
    }
    static void ForReboot(void* c, const RemapPlan& plan, uint32_t i, uint32_t) {
        if (Of(c).killed) return;
        Of(c).Write(plan.port[i].member, plan.port[i].to);
        Of(c).forReboot.push_back({plan.port[i].member, plan.port[i].to});
    }
    static void Note(void* c, uint32_t member, PortNote note, int32_t) {
        if (!Of(c).killed) Of(c).notes.push_back({member, note});
    }
    static void Keep(void* c, const RemapPlan& plan, uint32_t i) {
        Note(c, plan.port[i].member, PortNote::kCycleWithoutSpare, plan.port[i].from);
    }

    RemapCalls Calls() {
        RemapCalls calls = {};
        calls.context = this;
        calls.select = Select;
        calls.readComNumber = ReadNumber;
        calls.readLocationNumber = ReadLocation;
        calls.nameMatch = Match;
        calls.heldElsewhere = NamedElsewhere;
        calls.collectHeldNumbers = CollectHeld;
        calls.claimSpare = ClaimSpare;
        calls.releaseSpare = ReleaseSpare;
        calls.savePlan = SavePlan;
        calls.dropPlan = DropPlan;
        calls.walk = PlanCalls{this, Restart, ForReboot, Keep, WalkSave};
        calls.report = Note;
        return calls;
    }

    // One run of the tool: first the plan a run before left, if any, then the re-map.
    // False when the record left behind could not be taken up.
    bool Run() {
        killed = false;
        const RemapCalls calls = Calls();
        bool finished = true;
        if (!record.empty()) {
            static RemapPlan left;
            if (!ReadPlanRecord(record.data(), record.size(), &left)) return false;
            for (uint32_t i = 0; i < left.count; ++i) {
                left.port[i].member = static_cast<uint32_t>(std::stoul(
                    std::string(left.port[i].id + 1, left.port[i].id + left.port[i].idLength)));
            }
            finished = FinishPlan(&left, calls);
        }
        if (finished) RenumberPorts(calls);
        return true;
    }
};

}  // namespace mioutil
