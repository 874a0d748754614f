#include "devices/remap_plan.h"

namespace mioutil {

namespace {

constexpr uint32_t kMagic = 0x5052494D;  // "MIRP"
constexpr uint32_t kVersion = 1;
constexpr int32_t kSpareLimit = 4096;

uint32_t Fnv1a(const uint8_t* bytes, size_t size) {
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

struct Writer {
    uint8_t* out;
    size_t capacity;
    size_t at;
    void Word(uint32_t value) {
        if (at + 4 <= capacity) {
            for (int b = 0; b < 4; ++b) out[at + b] = static_cast<uint8_t>(value >> (8 * b));
        }
        at += 4;
    }
    void Unit(uint16_t value) {
        if (at + 2 <= capacity) {
            out[at] = static_cast<uint8_t>(value);
            out[at + 1] = static_cast<uint8_t>(value >> 8);
        }
        at += 2;
    }
};

struct Reader {
    const uint8_t* bytes;
    size_t size;
    size_t at;
    bool Word(uint32_t* value) {
        if (size - at < 4) return false;
        *value = 0;
        for (int b = 0; b < 4; ++b) *value |= static_cast<uint32_t>(bytes[at + b]) << (8 * b);
        at += 4;
        return true;
    }
    bool Unit(uint16_t* value) {
        if (size - at < 2) return false;
        *value = static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
        at += 2;
        return true;
    }
};

uint16_t Upper(uint16_t unit) { return unit >= 'a' && unit <= 'z' ? static_cast<uint16_t>(unit - 32) : unit; }

// Instance IDs compare without regard to the case of their letters, as Windows compares them.
bool SameId(const PlanPort& a, const PlanPort& b) {
    if (a.idLength != b.idLength) return false;
    for (uint32_t i = 0; i < a.idLength; ++i) {
        if (Upper(a.id[i]) != Upper(b.id[i])) return false;
    }
    return true;
}

bool MakesSense(const RemapPlan& plan) {
    if (plan.count == 0 || plan.count > kPortSlots) return false;
    if (plan.spare < 0 || plan.spare > kSpareLimit) return false;
    uint32_t onSpare = 0;
    for (uint32_t i = 0; i < plan.count; ++i) {
        const PlanPort& p = plan.port[i];
        if (p.from == 0 || p.to == 0 || p.idLength == 0 || p.idLength >= kPlanIdUnits) return false;
        if (p.state != PortState::kHoldsOld && p.state != PortState::kOnSpare && p.state != PortState::kDone) {
            return false;
        }
        if (plan.spare != 0 && (p.from == plan.spare || p.to == plan.spare)) return false;
        if (p.state == PortState::kOnSpare && (plan.spare == 0 || ++onSpare > 1)) return false;
        for (uint32_t j = 0; j < i; ++j) {
            const PlanPort& q = plan.port[j];
            if (q.from == p.from || q.to == p.to || SameId(p, q)) return false;
        }
    }
    return true;
}

}  // namespace

int32_t HeldNumber(const RemapPlan& plan, uint32_t i) {
    switch (plan.port[i].state) {
        case PortState::kHoldsOld: return plan.port[i].from;
        case PortState::kOnSpare: return plan.spare;
        case PortState::kDone: break;
    }
    return plan.port[i].to;
}

size_t WritePlanRecord(const RemapPlan& plan, uint8_t* out, size_t capacity) {
    if (!MakesSense(plan)) return 0;
    Writer w = {out, capacity, 0};
    w.Word(kMagic);
    w.Word(kVersion);
    w.Word(plan.count);
    w.Word(static_cast<uint32_t>(plan.spare));
    for (uint32_t i = 0; i < plan.count; ++i) {
        const PlanPort& p = plan.port[i];
        w.Word(static_cast<uint32_t>(p.from));
        w.Word(static_cast<uint32_t>(p.to));
        w.Word(static_cast<uint32_t>(p.state));
        w.Word(p.idLength);
        for (uint32_t u = 0; u < p.idLength; ++u) w.Unit(p.id[u]);
    }
    if (w.at + 4 > capacity) return 0;
    w.Word(Fnv1a(out, w.at));
    return w.at;
}

bool ReadPlanRecord(const uint8_t* bytes, size_t size, RemapPlan* plan) {
    uint32_t sum = 0;
    if (size < 20 || !Reader{bytes, size, size - 4}.Word(&sum) || sum != Fnv1a(bytes, size - 4)) return false;
    Reader r = {bytes, size - 4, 0};
    uint32_t magic = 0, version = 0, spare = 0;
    if (!r.Word(&magic) || !r.Word(&version) || !r.Word(&plan->count) || !r.Word(&spare)) return false;
    if (magic != kMagic || version != kVersion || plan->count == 0 || plan->count > kPortSlots) return false;
    plan->spare = static_cast<int32_t>(spare);
    for (uint32_t i = 0; i < plan->count; ++i) {
        PlanPort& p = plan->port[i];
        uint32_t from = 0, to = 0, state = 0;
        if (!r.Word(&from) || !r.Word(&to) || !r.Word(&state) || !r.Word(&p.idLength)) return false;
        if (p.idLength == 0 || p.idLength >= kPlanIdUnits) return false;
        p.member = 0;
        p.from = static_cast<int32_t>(from);
        p.to = static_cast<int32_t>(to);
        p.state = static_cast<PortState>(state);
        for (uint32_t u = 0; u < p.idLength; ++u) {
            if (!r.Unit(&p.id[u])) return false;
        }
    }
    return r.at == r.size && MakesSense(*plan);
}

}  // namespace mioutil
