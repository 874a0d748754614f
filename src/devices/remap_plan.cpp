#include "devices/remap_plan.h"

namespace mioutil {

namespace {

constexpr uint32_t kMagic = 0x5052494D;  // "MIRP"
constexpr uint32_t kVersion = 2;
constexpr size_t kHeadBytes = 24;
constexpr size_t kPortBytes = 16;  // before its ID
constexpr NameSet kAllNames = Only(PlanName::kFrom) | Only(PlanName::kSpare) | Only(PlanName::kTo);

uint32_t Fnv1a(const uint8_t* bytes, size_t size) {
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

void PutWord(uint8_t* out, size_t at, uint32_t value) {
    for (int b = 0; b < 4; ++b) out[at + b] = static_cast<uint8_t>(value >> (8 * b));
}

uint32_t GetWord(const uint8_t* bytes, size_t at) {
    uint32_t value = 0;
    for (int b = 0; b < 4; ++b) value |= static_cast<uint32_t>(bytes[at + b]) << (8 * b);
    return value;
}

uint32_t StateWord(const PlanPort& p) {
    return static_cast<uint32_t>(p.registry) | static_cast<uint32_t>(p.live) << 8 | (p.fromExact ? 1u : 0u) << 16;
}

uint32_t NameCount(NameSet names) {
    return ((names & Only(PlanName::kFrom)) != 0) + ((names & Only(PlanName::kSpare)) != 0) +
           ((names & Only(PlanName::kTo)) != 0);
}

// Whether `count` numbers are all different (sorted on the way; at most kPortSlots * 3 of them).
bool Distinct(int32_t* numbers, uint32_t count) {
    for (uint32_t i = 1; i < count; ++i) {
        const int32_t number = numbers[i];
        uint32_t at = i;
        for (; at > 0 && numbers[at - 1] > number; --at) numbers[at] = numbers[at - 1];
        numbers[at] = number;
    }
    for (uint32_t i = 1; i < count; ++i) {
        if (numbers[i] == numbers[i - 1]) return false;
    }
    return true;
}

// The numbers are the card's own: the `to` numbers a permutation of the `from`
// numbers, none of them 0, the spare none of them. A port may hold any number
// its name reads as (COM-3 among them); only the spare is one the database arbitrates.
bool CardsOwnNumbers(const RemapPlan& plan) {
    if (plan.spare < 0 || plan.spare > kComNumberLimit) return false;
    int32_t from[kPortSlots + 1], to[kPortSlots];
    for (uint32_t i = 0; i < plan.count; ++i) {
        if (plan.port[i].from == 0 || plan.port[i].to == 0) return false;
        from[i] = plan.port[i].from;
        to[i] = plan.port[i].to;
    }
    if (!Distinct(from, plan.count) || !Distinct(to, plan.count)) return false;
    for (uint32_t i = 0; i < plan.count; ++i) {
        if (from[i] != to[i]) return false;
    }
    from[plan.count] = plan.spare;
    return plan.spare == 0 || Distinct(from, plan.count + 1);
}

// Every state is one a run leaves, and no name is on two ports, in "PortName" or live.
bool NamesAddUp(const RemapPlan& plan) {
    static_assert(kPortSlots * 3 * sizeof(int32_t) < 4 * 1024, "the names live on the stack");
    int32_t registry[kPortSlots], live[kPortSlots * 3];
    uint32_t lives = 0;
    uint32_t onSpare = 0;
    for (uint32_t i = 0; i < plan.count; ++i) {
        const PlanPort& p = plan.port[i];
        const NameSet all = static_cast<NameSet>(p.live | Only(p.registry));
        if (p.live == 0 || (p.live & ~kAllNames) != 0 || NameCount(p.live) > 2) return false;
        if (NameCount(p.live) == 2 && (p.live & Only(p.registry)) == 0) return false;
        if (p.registry == PlanName::kFrom && p.live != Only(PlanName::kFrom)) return false;
        if (p.registry == PlanName::kSpare && (p.live & Only(PlanName::kTo)) != 0) return false;
        if ((all & Only(PlanName::kSpare)) != 0 && (plan.spare == 0 || ++onSpare > 1)) return false;
        registry[i] = NumberOf(plan, i, p.registry);
        // A port may hold one number under two of its names (from = to).
        const uint32_t first = lives;
        for (PlanName name : kPlanNames) {
            const int32_t number = NumberOf(plan, i, name);
            bool again = false;
            for (uint32_t k = first; k < lives; ++k) again = again || live[k] == number;
            if ((p.live & Only(name)) != 0 && !again) live[lives++] = number;
        }
    }
    return Distinct(registry, plan.count) && Distinct(live, lives);
}

// Whether what the "PortName" reads is port i's name `name`. The re-map writes
// COM<n> exactly; an untouched name is whatever reads as the number it held
// (and is COM<n> itself where it was when the re-map began).
bool Shows(const RemapPlan& plan, uint32_t i, PlanName name, const PortNameRead& read) {
    const PlanPort& p = plan.port[i];
    switch (name) {
        case PlanName::kFrom: return read.readable && read.number == p.from && (!p.fromExact || read.written == p.from);
        case PlanName::kSpare: return plan.spare != 0 && read.readable && read.written == plan.spare;
        case PlanName::kTo: break;
    }
    return read.readable && read.written == p.to;
}

}  // namespace

int32_t NumberOf(const RemapPlan& plan, uint32_t i, PlanName name) {
    switch (name) {
        case PlanName::kFrom: return plan.port[i].from;
        case PlanName::kSpare: return plan.spare;
        case PlanName::kTo: break;
    }
    return plan.port[i].to;
}

bool MayHold(const RemapPlan& plan, uint32_t i, int32_t number) {
    for (PlanName name : kPlanNames) {
        if ((plan.port[i].live & Only(name)) != 0 && NumberOf(plan, i, name) == number) return true;
    }
    return false;
}

bool IsDone(const PlanPort& port) { return port.registry == PlanName::kTo && port.live == Only(PlanName::kTo); }

bool InDoubt(const PlanPort& port) { return NameCount(port.live) == 2; }

bool IsUntouched(const PlanPort& port) {
    return port.registry == PlanName::kFrom && port.live == Only(PlanName::kFrom);
}

size_t WritePlanRecord(const RemapPlan& plan, const PlanId* ids, uint64_t bootStamp, uint8_t* out, size_t capacity) {
    if (plan.count == 0 || plan.count > kPortSlots) return 0;
    size_t size = kHeadBytes + 4;
    for (uint32_t i = 0; i < plan.count; ++i) {
        if (ids[i].length == 0 || ids[i].length >= kPlanIdUnits) return 0;
        size += kPortBytes + 2 * ids[i].length;
    }
    if (size > capacity) return 0;
    PutWord(out, 0, kMagic);
    PutWord(out, 4, kVersion);
    PutWord(out, 8, plan.count);
    PutWord(out, 12, static_cast<uint32_t>(plan.spare));
    PutWord(out, 16, static_cast<uint32_t>(bootStamp));
    PutWord(out, 20, static_cast<uint32_t>(bootStamp >> 32));
    size_t at = kHeadBytes;
    for (uint32_t i = 0; i < plan.count; ++i) {
        const PlanPort& p = plan.port[i];
        PutWord(out, at, static_cast<uint32_t>(p.from));
        PutWord(out, at + 4, static_cast<uint32_t>(p.to));
        PutWord(out, at + 8, StateWord(p));
        PutWord(out, at + 12, ids[i].length);
        at += kPortBytes;
        for (uint32_t u = 0; u < ids[i].length; ++u, at += 2) {
            out[at] = static_cast<uint8_t>(ids[i].units[u]);
            out[at + 1] = static_cast<uint8_t>(ids[i].units[u] >> 8);
        }
    }
    PutWord(out, at, Fnv1a(out, at));
    return at + 4;
}

RecordRead ReadPlanRecord(const uint8_t* bytes, size_t size, RemapPlan* plan, PlanId* ids, uint64_t* bootStamp) {
    // The head alone tells the spare, which is all there is to let go of a record
    // that cannot be read whole.
    if (size < kHeadBytes || GetWord(bytes, 0) != kMagic || GetWord(bytes, 4) != kVersion) return RecordRead::kDamaged;
    plan->spare = static_cast<int32_t>(GetWord(bytes, 12));
    plan->count = 0;
    if (plan->spare < 0 || plan->spare > kComNumberLimit) return RecordRead::kDamaged;
    const uint32_t count = GetWord(bytes, 8);
    if (size < kHeadBytes + 4 || GetWord(bytes, size - 4) != Fnv1a(bytes, size - 4) || count == 0 ||
        count > kPortSlots) {
        return RecordRead::kSpareOnly;
    }
    *bootStamp = GetWord(bytes, 16) | static_cast<uint64_t>(GetWord(bytes, 20)) << 32;
    const size_t end = size - 4;
    size_t at = kHeadBytes;
    for (uint32_t i = 0; i < count; ++i) {
        if (end - at < kPortBytes) return RecordRead::kSpareOnly;
        PlanPort& p = plan->port[i];
        const uint32_t state = GetWord(bytes, at + 8);
        const uint32_t registry = state & 0xFF;
        const uint32_t length = GetWord(bytes, at + 12);
        if (registry > static_cast<uint32_t>(PlanName::kTo) || (state >> 8 & 0xFF & ~uint32_t{kAllNames}) != 0 ||
            state >> 16 > 1 || length == 0 || length >= kPlanIdUnits || (end - at - kPortBytes) / 2 < length) {
            return RecordRead::kSpareOnly;
        }
        p = PlanPort{0, static_cast<int32_t>(GetWord(bytes, at)), static_cast<int32_t>(GetWord(bytes, at + 4)),
                     static_cast<PlanName>(registry), static_cast<NameSet>(state >> 8 & 0xFF), state >> 16 == 1};
        at += kPortBytes;
        ids[i].length = length;
        for (uint32_t u = 0; u < length; ++u, at += 2) {
            ids[i].units[u] = static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
        }
    }
    if (at != end) return RecordRead::kSpareOnly;
    plan->count = count;
    return RecordRead::kWhole;
}

bool SameId(const PlanId& a, const PlanId& b) {
    if (a.length != b.length) return false;
    auto upper = [](uint16_t unit) { return unit >= 'a' && unit <= 'z' ? static_cast<uint16_t>(unit - 32) : unit; };
    for (uint32_t i = 0; i < a.length; ++i) {
        if (upper(a.units[i]) != upper(b.units[i])) return false;
    }
    return true;
}

Resolution ResolvePlan(RemapPlan* plan, const PortNameRead* names, bool sameBoot) {
    Resolution r = {StaleReason::kNone, 0, plan->count};
    if (!CardsOwnNumbers(*plan)) return {StaleReason::kNotTheCardsNumbers, 0, plan->count};
    // Instance IDs that differ only in case find one node.
    for (uint32_t i = 0; i < plan->count; ++i) {
        for (uint32_t j = 0; j < i; ++j) {
            if (plan->port[i].member == plan->port[j].member) return {StaleReason::kSameIdTwice, i, plan->count};
        }
    }
    if (!NamesAddUp(*plan)) return {StaleReason::kNamesDoNotAdd, 0, plan->count};

    static_assert(sizeof(RemapPlan) < 8 * 1024, "a copy of the plan lives on the stack");
    RemapPlan resolved = *plan;
    for (uint32_t i = 0; i < plan->count; ++i) {
        PlanPort& p = resolved.port[i];
        if (Shows(resolved, i, p.registry, names[i])) continue;
        // The names a run writes next on a port that is not done: the spare or its final one.
        PlanName next = PlanName::kTo;
        if (Shows(resolved, i, PlanName::kSpare, names[i])) next = PlanName::kSpare;
        if (r.ahead != plan->count || IsDone(p) || next == p.registry || !Shows(resolved, i, next, names[i])) {
            return {StaleReason::kPortDisagrees, i, plan->count};
        }
        r.ahead = i;
        // Restarted onto it or not; but a name another driver holds it was only written for the reboot.
        bool heldByAnother = false;
        for (uint32_t j = 0; j < plan->count; ++j) {
            heldByAnother = heldByAnother || (j != i && MayHold(resolved, j, NumberOf(resolved, i, next)));
        }
        p.registry = next;
        if (!heldByAnother) p.live = static_cast<NameSet>(p.live | Only(next));
    }
    if (!sameBoot) {
        for (uint32_t i = 0; i < resolved.count; ++i) resolved.port[i].live = Only(resolved.port[i].registry);
    }
    if (!NamesAddUp(resolved)) return {StaleReason::kNamesDoNotAdd, r.ahead, plan->count};
    *plan = resolved;
    return r;
}

}  // namespace mioutil
