#include "devices/remap_status.h"

namespace mioutil {

namespace {

void Remove(NumberCounts* counts, int32_t number) {
    if (number >= 1 && number <= kComNumberLimit && counts->count[number] > 0) --counts->count[number];
}

bool Has(const ComNumberSet& set, int32_t number) { return HoldsComNumber(set, number); }

void Unmark(ComNumberSet* set, int32_t number) {
    if (number < 1 || number > kComNumberLimit) return;
    set->bits[(number - 1) / 8] = static_cast<uint8_t>(set->bits[(number - 1) / 8] & ~(1u << ((number - 1) % 8)));
}

}  // namespace

const DryRun::Written* DryRun::Find(uint32_t member) const {
    for (uint32_t i = 0; i < writtenCount_; ++i) {
        if (written_[i].member == member) return &written_[i];
    }
    return nullptr;
}

PortNameRead DryRun::ReadPortName(uint32_t member) {
    const Written* w = Find(member);
    if (w == nullptr) return machine_.ReadPortName(member);
    const int32_t exact = w->number >= 1 && w->number <= kComNumberLimit ? w->number : 0;
    return {true, w->number, exact, w->number};
}

bool DryRun::FriendlyNameIs(uint32_t member, int32_t number) {
    const Written* w = Find(member);
    return w != nullptr ? w->number == number : machine_.FriendlyNameIs(member, number);
}

// The machine's holders, with the names this run would have written in place of
// the ones the ports had: each written port taken to be restarted onto its name.
bool DryRun::CountHolders(HolderCounts* counts) {
    const bool listed = machine_.CountHolders(counts);
    for (uint32_t i = 0; i < writtenCount_; ++i) {
        const PortNameRead before = machine_.ReadPortName(written_[i].member);
        const PortNameRead after = ReadPortName(written_[i].member);
        Remove(&counts->nodesExact, before.exact);
        Remove(&counts->nodesReading, before.number);
        if (counts->liveExact.Of(before.exact) != 0) {
            Remove(&counts->liveExact, before.exact);
            Remove(&counts->liveReading, before.number);
        }
        counts->nodesExact.Add(after.exact);
        counts->nodesReading.Add(after.number);
        counts->liveExact.Add(after.exact);
        counts->liveReading.Add(after.number);
    }
    return listed;
}

bool DryRun::ReadReserved(ComNumberSet* reserved) {
    const bool known = machine_.ReadReserved(reserved);
    for (int32_t n = 1; n <= kComNumberLimit; ++n) {
        if (Has(claimed_, n)) MarkComNumber(reserved, n);
        if (Has(released_, n)) Unmark(reserved, n);
    }
    return known;
}

bool DryRun::ClaimSpare(int32_t number) {
    ComNumberSet reserved = {};
    if (ReadReserved(&reserved) && Has(reserved, number)) return false;
    changes_ = true;
    MarkComNumber(&claimed_, number);
    Unmark(&released_, number);
    return true;
}

bool DryRun::ReleaseSpare(int32_t number) {
    changes_ = true;
    MarkComNumber(&released_, number);
    Unmark(&claimed_, number);
    return true;
}

LeftPlan DryRun::ReadPlan(RemapPlan* plan) {
    plan_.found = machine_.ReadPlan(plan);
    plan_.plan = *plan;
    for (uint32_t i = 0; plan_.found.kind == LeftPlan::kWhole && plan_.found.sameBoot && i < plan->count; ++i) {
        plan_.waitsForReboot = plan_.waitsForReboot || plan->port[i].live != Only(plan->port[i].registry);
    }
    return plan_.found;
}

bool DryRun::WriteNames(uint32_t member, int32_t number) {
    changes_ = true;
    for (uint32_t i = 0; i < writtenCount_; ++i) {
        if (written_[i].member == member) {
            written_[i].number = number;
            return true;
        }
    }
    if (writtenCount_ == sizeof(written_) / sizeof(written_[0])) return false;
    written_[writtenCount_++] = {member, number};
    return true;
}

RestartOutcome DryRun::Restart(uint32_t) {
    changes_ = true;
    return RestartOutcome::kRestarted;  // whether a program holds the port cannot be known without trying
}

void DryRun::Report(uint32_t member, PortNote note, int32_t number, uint32_t other) {
    if (member >= kStatusMembers) return;
    PortVerdict& v = verdicts_[member];
    v.told = true;
    switch (note) {
        case PortNote::kTakesSpare: v.spare = true; return;
        case PortNote::kRestarted:
        case PortNote::kDeferred:
        case PortNote::kFailed:
            v.restarted = true;
            v.written = number;
            break;
        case PortNote::kWrittenForReboot: v.written = number; break;
        default: break;
    }
    v.note = note;
    v.number = number;
    v.other = other;
}

void DryRun::ReportPlan(PlanNote note, const RemapPlan&, StaleReason why, uint32_t port) {
    const uint32_t at = static_cast<uint32_t>(note);
    if (at < sizeof(plan_.told) / sizeof(plan_.told[0])) plan_.told[at] = true;
    if (note == PlanNote::kStale) plan_.why = why;
    if (note == PlanNote::kStale || note == PlanNote::kPortGone || note == PlanNote::kFinishing) plan_.port = port;
}

PortVerdict DryRun::Verdict(uint32_t member) const {
    return member < kStatusMembers ? verdicts_[member] : PortVerdict{};
}

}  // namespace mioutil
