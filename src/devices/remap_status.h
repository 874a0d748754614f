// What a plain run would do to each port, for "-Status": the re-map's own
// decisions (RemapPorts) run against the machine's answers, with every change it
// would make kept here instead and read back from here, and every restart taken
// to happen. Nothing reaches the machine. Pure header: no <windows.h>.
#pragma once

#include <cstdint>

#include "devices/remap_walk.h"

namespace mioutil {

/// The members a report keeps a verdict for (a larger set is re-mapped all the
/// same; the members past these are reported without one).
inline constexpr uint32_t kStatusMembers = 1024;

/// What a plain run would do to one member.
struct PortVerdict {
    bool told;        // the re-map said something of it
    PortNote note;    // what it said last: how the port ends, or why it is left as it is
    int32_t number;   // the number that note names
    uint32_t other;   // the other member it names
    int32_t written;  // the name it would be written last (its final one); 0: none
    bool restarted;   // it would be restarted
    bool spare;       // it would go through the spare first
};

/// What a plain run would do to a plan an earlier run left.
struct PlanVerdict {
    LeftPlan found;
    RemapPlan plan;       // as recorded (its states as the record gives them)
    bool waitsForReboot;  // recorded in this boot, with a port whose driver holds another name than its PortName
    bool told[16];        // by PlanNote
    StaleReason why;
    uint32_t port;        // the port a note names
};

class DryRun final : public RemapSystem {
public:
    explicit DryRun(RemapSystem& machine) : machine_(machine) {}

    bool Exists(uint32_t member) override { return machine_.Exists(member); }
    PortNameRead ReadPortName(uint32_t member) override;
    bool ReadLocationNumber(uint32_t member, int32_t* number) override {
        return machine_.ReadLocationNumber(member, number);
    }
    bool FriendlyNameIs(uint32_t member, int32_t number) override;
    bool CountHolders(HolderCounts* counts) override;
    bool ReadReserved(ComNumberSet* reserved) override;
    bool ClaimSpare(int32_t number) override;
    bool ReleaseSpare(int32_t number) override;
    LeftPlan ReadPlan(RemapPlan* plan) override;
    bool SavePlan(const RemapPlan&, bool) override {
        changes_ = true;
        return true;
    }
    bool DropPlan() override {
        changes_ = true;
        return true;
    }
    bool WriteNames(uint32_t member, int32_t number) override;
    RestartOutcome Restart(uint32_t member) override;
    void Report(uint32_t member, PortNote note, int32_t number, uint32_t other) override;
    void ReportPlan(PlanNote note, const RemapPlan& plan, StaleReason why, uint32_t port) override;

    /// The member's verdict; untold where the re-map said nothing of it.
    PortVerdict Verdict(uint32_t member) const;
    const PlanVerdict& Plan() const { return plan_; }
    /// Whether the run would change anything: write, restart, record, claim or release.
    bool Changes() const { return changes_; }

private:
    struct Written {
        uint32_t member;
        int32_t number;
    };
    const Written* Find(uint32_t member) const;

    RemapSystem& machine_;
    Written written_[kPortSlots * 2] = {};
    uint32_t writtenCount_ = 0;
    ComNumberSet claimed_ = {};
    ComNumberSet released_ = {};
    PortVerdict verdicts_[kStatusMembers] = {};
    PlanVerdict plan_ = {};
    bool changes_ = false;
};

}  // namespace mioutil
