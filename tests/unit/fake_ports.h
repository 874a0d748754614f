// A model of the machine as the re-map sees it, shared by the unit tests, the
// model check and the fuzz targets. Each port has a registry name (its
// "PortName"), a friendly name and a live name (what its driver holds, which
// moves only when a restart really happens); another device can hold a name as a
// node or as a live name in SERIALCOMM; the COM-port database reserves numbers;
// the plan's record and the boot's marker are kept as the shell keeps them. A
// reboot gives every driver its registry name and takes the marker away.
//
// What the machine does at each restart, and whether a run is cut short before
// a change, is asked of `choose` (null: every restart does what the port's
// `busy` says and no run is cut short). Where `onCut` is set, a run is never cut
// short: it is handed the machine as a run cut short before each change would
// leave it, and goes on.
#pragma once

#include <bitset>
#include <cstdint>
#include <functional>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "devices/remap_plan.h"
#include "devices/remap_walk.h"

namespace mioutil {

/// How a "PortName" is written: COM<n>, LPT<n>, COM0<n>.
enum class Style : uint8_t { kExact, kLpt, kZero };

struct FakeName {
    int32_t number;
    Style style;
    bool operator==(const FakeName& o) const { return number == o.number && style == o.style; }
};

struct FakeMember {
    int32_t number;
    bool located;
    int32_t location;
    bool readable = true;      // false: "PortName" cannot be read
    Style style = Style::kExact;
    bool friendly = false;     // the friendly name is already the one of its number
    bool busy = false;         // a program holds it open: its restarts wait for a reboot
};

struct FakePorts final : RemapSystem {
    std::vector<FakeMember> members;
    std::vector<FakeName> live;        // the name each member's driver holds
    int32_t foreignNode = 0;           // a node outside the set with "PortName" COM<n>, its driver on it
    int32_t foreignLive = 0;           // a live name COM<n> in SERIALCOMM that no node has
    ComNumberSet reserved = {};        // the COM-port database
    bool databaseWorks = true;
    bool recordWorks = true;           // false: the record cannot be written
    std::vector<uint8_t> record;       // empty: none
    uint64_t marker = 0;               // this boot's marker; 0: none
    uint64_t boots = 0;
    std::function<uint32_t(uint32_t options)> choose;
    std::function<void(const FakePorts& machine)> onCut;  // the machine before each change
    bool quiet = false;  // keep no account of what was done, only of rules broken

    // What happened.
    std::vector<std::pair<uint32_t, int32_t>> writes;     // (member, number) restarted, in order
    std::vector<std::pair<uint32_t, int32_t>> forReboot;  // written without a restart
    std::vector<std::pair<uint32_t, PortNote>> notes;     // what the run log was told
    std::vector<std::pair<int32_t, uint32_t>> noteArgs;   // and the number and other member each note named
    std::vector<PlanNote> planNotes;
    std::vector<std::string> spareCalls;  // "claim 3", "release 3"
    std::vector<std::string> broken;      // the rules the machine saw broken
    bool killed = false;
    int asked = 0;                        // how often the other devices or the database were asked
    int changesAsked = 0;                 // how often a change was asked for
    std::bitset<512> inDoubt;             // the ports a cut-short run may have left a step ahead, each until
                                          // it is restarted again or the machine reboots
    std::shared_ptr<const std::vector<int32_t>> finalNames;  // when known: a port on these is not to be restarted

    explicit FakePorts(std::vector<FakeMember> m = {}) : members(std::move(m)) {
        for (const FakeMember& member : members) live.push_back({member.number, member.style});
    }

    FakeName Registry(uint32_t m) const { return {members[m].number, members[m].style}; }

    // Every driver takes the name in its registry; the marker goes.
    void Reboot() {
        for (size_t m = 0; m < members.size(); ++m) live[m] = Registry(static_cast<uint32_t>(m));
        marker = 0;
        ++boots;
        inDoubt.reset();
    }
    bool RebootDue() const {
        for (size_t m = 0; m < members.size(); ++m) {
            if (!(live[m] == Registry(static_cast<uint32_t>(m)))) return true;
        }
        return false;
    }

    // One run of the tool.
    RemapSummary Run() {
        if (!start_ || start_->size() != members.size()) Start();
        killed = false;
        touched_ = -1;
        const RemapSummary summary = RemapPorts(*this);
        return summary;
    }

    bool Exists(uint32_t member) override { return member < members.size(); }
    PortNameRead ReadPortName(uint32_t m) override {
        if (!members[m].readable) return {};
        const bool exact = members[m].style == Style::kExact;
        return {true, members[m].number, exact ? ExactOf(members[m].number) : 0, exact ? members[m].number : 0};
    }
    bool ReadLocationNumber(uint32_t m, int32_t* location) override {
        *location = members[m].location;
        return members[m].located;
    }
    bool FriendlyNameIs(uint32_t m, int32_t number) override {
        return members[m].friendly && members[m].number == number;
    }
    bool CountHolders(HolderCounts* counts) override {
        ++asked;
        for (size_t m = 0; m < members.size(); ++m) {
            if (!members[m].readable) continue;
            Count(&counts->nodesExact, &counts->nodesReading, Registry(static_cast<uint32_t>(m)));
            Count(&counts->liveExact, &counts->liveReading, live[m]);
        }
        if (foreignNode != 0) {
            Count(&counts->nodesExact, &counts->nodesReading, {foreignNode, Style::kExact});
            Count(&counts->liveExact, &counts->liveReading, {foreignNode, Style::kExact});
        }
        if (foreignLive != 0) Count(&counts->liveExact, &counts->liveReading, {foreignLive, Style::kExact});
        return true;
    }
    bool ReadReserved(ComNumberSet* held) override {
        ++asked;
        for (size_t b = 0; b < sizeof(held->bits); ++b) held->bits[b] |= reserved.bits[b];
        return databaseWorks;
    }
    bool ClaimSpare(int32_t number) override {
        ++changesAsked;
        if (Cut()) return false;
        if (!quiet) spareCalls.push_back("claim " + std::to_string(number));
        if (HoldsComNumber(reserved, number)) return false;
        Reserve(number);
        return true;
    }
    bool ReleaseSpare(int32_t number) override {
        ++changesAsked;
        if (Cut()) return false;
        if (!quiet) spareCalls.push_back("release " + std::to_string(number));
        if (number >= 1 && number <= kComNumberLimit) {
            reserved.bits[(number - 1) / 8] = static_cast<uint8_t>(reserved.bits[(number - 1) / 8] & ~(1u << ((number - 1) % 8)));
        }
        return true;
    }
    LeftPlan ReadPlan(RemapPlan* plan) override {
        LeftPlan found = {LeftPlan::kNone, false, 0};
        if (record.empty()) return found;
        static PlanId ids[kPortSlots];
        uint64_t stamp = 0;
        switch (ReadPlanRecord(record.data(), record.size(), plan, ids, &stamp)) {
            case RecordRead::kDamaged: found.kind = LeftPlan::kDamaged; return found;
            case RecordRead::kSpareOnly: found.kind = LeftPlan::kSpareOnly; return found;
            case RecordRead::kWhole: break;
        }
        found.kind = LeftPlan::kWhole;
        found.sameBoot = marker != 0 && marker == stamp;
        for (uint32_t i = 0; i < plan->count; ++i) {
            const std::string id(ids[i].units, ids[i].units + ids[i].length);
            plan->port[i].member = id.size() > 1 && id[0] == 'P' ? static_cast<uint32_t>(std::stoul(id.substr(1))) : 9999;
            if (plan->port[i].member >= members.size() && found.kind == LeftPlan::kWhole) {
                found.kind = LeftPlan::kPortGone;
                found.gone = i;
            }
        }
        return found;
    }
    bool SavePlan(const RemapPlan& plan, bool) override {
        ++changesAsked;
        if (Cut()) return false;
        if (!recordWorks) return false;
        if (marker == 0) {
            marker = boots + 1;
            if (Cut()) return false;  // the marker made, the record not yet written
        }
        static PlanId ids[kPortSlots];
        for (uint32_t i = 0; i < plan.count; ++i) {
            const std::string id = "P" + std::to_string(plan.port[i].member);
            ids[i].length = static_cast<uint32_t>(id.size());
            for (size_t u = 0; u < id.size(); ++u) ids[i].units[u] = static_cast<uint16_t>(id[u]);
        }
        static uint8_t bytes[kPlanRecordBytes];
        const size_t size = WritePlanRecord(plan, ids, marker, bytes, sizeof(bytes));
        record.assign(bytes, bytes + size);
        touched_ = -1;
        return size != 0;
    }
    bool DropPlan() override {
        ++changesAsked;
        if (Cut()) return false;
        record.clear();
        marker = 0;
        return true;
    }
    bool WriteNames(uint32_t m, int32_t number) override {
        ++changesAsked;
        if (Cut()) return false;
        // The re-map writes a port's names right before each of its restarts.
        if (IsFinal(m) && (m >= inDoubt.size() || !inDoubt[m])) broken.push_back("a finished port is restarted");
        members[m].number = number;
        members[m].style = Style::kExact;
        members[m].friendly = false;
        touched_ = static_cast<int32_t>(m);
        if (Cut()) return true;  // "PortName" written, the friendly name not yet
        members[m].friendly = true;
        return true;
    }
    RestartOutcome Restart(uint32_t m) override {
        ++changesAsked;
        const uint32_t choice = Choose(onCut ? 2 : 3);
        if (onCut && !killed) onCut(*this);
        if (choice == 2 || killed) return Kill();
        touched_ = static_cast<int32_t>(m);
        if (members[m].busy != (choice == 1)) return RestartOutcome::kDeferred;
        Take(m, Registry(m));
        if (m < inDoubt.size()) inDoubt[m] = false;  // restarted again: sure of its name now
        if (!quiet) writes.push_back({m, members[m].number});
        return RestartOutcome::kRestarted;
    }
    void Report(uint32_t member, PortNote note, int32_t number, uint32_t other) override {
        if (killed || quiet) return;
        notes.push_back({member, note});
        noteArgs.push_back({number, other});
        if (note == PortNote::kWrittenForReboot) forReboot.push_back({member, number});
    }
    void ReportPlan(PlanNote note, const RemapPlan&, StaleReason, uint32_t) override {
        if (!killed && !quiet) planNotes.push_back(note);
    }

    void ClearLogs() {
        writes.clear();
        forReboot.clear();
        notes.clear();
        noteArgs.clear();
        planNotes.clear();
        spareCalls.clear();
    }

    // The machine as a run cut short here leaves it.
    /// The ports in doubt after a run cut short here.
    std::bitset<512> InDoubtIfCut() const {
        std::bitset<512> doubt = inDoubt;
        if (!killed && touched_ >= 0 && static_cast<size_t>(touched_) < doubt.size()) doubt[touched_] = true;
        return doubt;
    }
    FakePorts CutHere() const {
        FakePorts cut = *this;
        cut.onCut = nullptr;
        cut.choose = nullptr;
        cut.Kill();
        return cut;
    }
    // The driver of member m takes `name`; two drivers on one name are a collision,
    // unless they shared it from the start.
    void Take(uint32_t m, FakeName name) {
        live[m] = name;
        const bool shared = (*start_)[m] == name;
        for (size_t j = 0; j < members.size(); ++j) {
            // A port whose name cannot be read is not the re-map's to know.
            if (j == m || !members[j].readable || !(live[j] == name)) continue;
            if (!shared || !((*start_)[j] == name)) broken.push_back("two ports on one live name");
        }
        const FakeName foreign[] = {{foreignNode, Style::kExact}, {foreignLive, Style::kExact}};
        for (const FakeName& f : foreign) {
            if (f.number != 0 && f == name && !((*start_)[m] == name)) {
                broken.push_back("a port on another device's live name");
            }
        }
    }
    // Remembers each port's first name: a name it shared with another device from the start stays shared.
    void Start() { start_ = std::make_shared<const std::vector<FakeName>>(live); }
    void Reserve(int32_t number) { MarkComNumber(&reserved, number); }
    bool SameReserved(const FakePorts& other) const {
        return std::memcmp(reserved.bits, other.reserved.bits, sizeof(reserved.bits)) == 0;
    }

private:
    static int32_t ExactOf(int32_t number) { return number >= 1 && number <= kComNumberLimit ? number : 0; }
    static void Count(NumberCounts* exact, NumberCounts* reading, FakeName name) {
        reading->Add(name.number);
        if (name.style == Style::kExact) exact->Add(ExactOf(name.number));
    }
    uint32_t Choose(uint32_t options) { return choose && !killed ? choose(options) % options : 0; }
    // Whether the run is cut short before this change.
    bool Cut() {
        if (onCut && !killed) {
            onCut(*this);
        } else if (!killed && Choose(2) == 1) {
            Kill();
        }
        return killed;
    }
    RestartOutcome Kill() {
        if (!killed && touched_ >= 0 && static_cast<size_t>(touched_) < inDoubt.size()) inDoubt[touched_] = true;
        killed = true;
        return RestartOutcome::kFailed;
    }
    bool IsFinal(uint32_t m) const {
        if (!finalNames || m >= finalNames->size()) return false;
        const FakeName want = {(*finalNames)[m], Style::kExact};
        return Registry(m) == want && live[m] == want && members[m].friendly;
    }

    int32_t touched_ = -1;
    std::shared_ptr<const std::vector<FakeName>> start_;
};

}  // namespace mioutil
