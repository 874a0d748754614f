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

struct FakePorts final : RemapSystem {
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

    explicit FakePorts(std::vector<FakeMember> m = {}) : members(std::move(m)) {
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

    bool Select(uint32_t index) override {
        if (killed || index >= members.size()) return false;
        selected = index;
        return true;
    }
    bool ReadComNumber(int32_t* number) override {
        *number = members[selected].number;
        return members[selected].readable;
    }
    bool ReadLocationNumber(int32_t* location) override {
        *location = members[selected].location;
        return members[selected].located;
    }
    NameMatch MatchNames(int32_t number) override {
        const FakeMember& m = members[selected];
        if (!m.exact || m.number != number) return NameMatch::kRename;
        return m.friendly ? NameMatch::kInPlace : NameMatch::kPortNameOnly;
    }
    bool HeldElsewhere(int32_t number) override {
        for (int32_t n : namedElsewhere) {
            if (n == number) return true;
        }
        return false;
    }
    bool CollectHeldNumbers(ComNumberSet* held) override {
        ++collects;
        for (int32_t n : heldElsewhere) MarkComNumber(held, n);
        for (int32_t n : namedElsewhere) MarkComNumber(held, n);
        return collectWorks;
    }
    bool ClaimSpare(int32_t number) override {
        spareCalls.push_back("claim " + std::to_string(number));
        return true;
    }
    void ReleaseSpare(int32_t number) override {
        if (!killed) spareCalls.push_back("release " + std::to_string(number));
    }
    bool SavePlan(const RemapPlan& plan) override {
        if (killed) return false;
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
        record.assign(bytes, bytes + size);
        return size != 0;
    }
    void DropPlan() override {
        if (!killed) record.clear();
    }
    RestartOutcome WriteAndRestart(const RemapPlan& plan, uint32_t i, int32_t number) override {
        const uint32_t m = plan.port[i].member;
        if (killed) return RestartOutcome::kFailed;
        Write(m, number);
        killed = ++restarts == killAt;
        if (killed && killBeforeLink) return RestartOutcome::kFailed;
        if (members[m].busy) return RestartOutcome::kDeferred;
        if (Collides(m, number)) ++collisions;
        live[m] = number;
        writes.push_back({m, number});
        return RestartOutcome::kRestarted;
    }
    void WriteForReboot(const RemapPlan& plan, uint32_t i, uint32_t) override {
        if (killed) return;
        Write(plan.port[i].member, plan.port[i].to);
        forReboot.push_back({plan.port[i].member, plan.port[i].to});
    }
    void Report(uint32_t member, PortNote note, int32_t) override {
        if (!killed) notes.push_back({member, note});
    }
    void Keep(const RemapPlan& plan, uint32_t i) override {
        Report(plan.port[i].member, PortNote::kCycleWithoutSpare, plan.port[i].from);
    }

    // One run of the tool: first the plan a run before left, if any, then the re-map.
    // False when the record left behind could not be taken up.
    bool Run() {
        killed = false;
        bool finished = true;
        if (!record.empty()) {
            static RemapPlan left;
            if (!ReadPlanRecord(record.data(), record.size(), &left)) return false;
            for (uint32_t i = 0; i < left.count; ++i) {
                left.port[i].member = static_cast<uint32_t>(std::stoul(
                    std::string(left.port[i].id + 1, left.port[i].id + left.port[i].idLength)));
            }
            finished = FinishPlan(&left, *this);
        }
        if (finished) RenumberPorts(*this);
        return true;
    }
};

}  // namespace mioutil
