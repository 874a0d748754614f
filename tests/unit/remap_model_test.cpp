// The re-map against a model of the machine (fake_ports.h), explored to the end
// within a small scope: every layout of up to four ports, each a permutation of
// their numbers (and the same with one port named LPT<n> or COM0<n>); no other
// device, or one holding a number the card uses or the lowest free one, as a
// node or only as a live name; then every sequence of up to four events: a run,
// in every way it can go (each restart done or left for a reboot, cut short
// before any change), or a reboot. States already explored are not explored again.
//
// After every change: no two drivers hold one live name (but two that shared it
// from the start), and no finished port is restarted (but the one a run cut
// short may have left in doubt). At rest, that is after a reboot if one is due
// and then one run in which every restart happens: every port holds its final
// name in "PortName", friendly name and driver; the database reserves what it
// did at the start; no record is left. Within two events of each layout,
// "-Status" (DryRun) changes nothing and tells of each port and of a left plan
// what that run then does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "devices/remap_status.h"
#include "fake_ports.h"

namespace mioutil {
namespace {

// The choices of one run, taken in turn: first 0 at every new choice, then the
// next sequence depth first, until every sequence was run.
struct Script {
    std::vector<uint32_t> taken, options;
    size_t at = 0;
    int fresh = -1;  // the first choice not taken by the sequence before
    uint32_t operator()(uint32_t count) {
        if (at == taken.size()) {
            taken.push_back(0);
            options.push_back(count);
        }
        return taken[at++];
    }
    bool Next() {
        at = 0;
        while (!taken.empty() && taken.back() + 1 >= options.back()) {
            taken.pop_back();
            options.pop_back();
        }
        if (taken.empty()) return false;
        ++taken.back();
        fresh = static_cast<int>(taken.size()) - 1;
        return true;
    }
    std::string Text() const {
        std::string text;
        for (uint32_t c : taken) text += static_cast<char>('0' + c);
        return text;
    }
};

std::string Describe(const FakePorts& f) {
    std::string text;
    for (size_t m = 0; m < f.members.size(); ++m) {
        const FakeMember& p = f.members[m];
        text += (p.style == Style::kLpt ? "LPT" : p.style == Style::kZero ? "COM0" : "COM") + std::to_string(p.number);
        const FakeName& l = f.live[m];
        text += std::string(p.friendly ? "" : "~") + "/" + (l.style == Style::kLpt ? "LPT" : l.style == Style::kZero ? "COM0" : "COM") +
                std::to_string(l.number) + " ";
    }
    if (f.foreignNode != 0) text += "node COM" + std::to_string(f.foreignNode) + " ";
    if (f.foreignLive != 0) text += "SERIALCOMM COM" + std::to_string(f.foreignLive) + " ";
    return text;
}

class Explorer {
public:
    explicit Explorer(const FakePorts& start) : start_(start) {
        FakePorts clean = start;
        clean.Run();
        for (size_t m = 0; m < clean.members.size(); ++m) {
            finals_.push_back(clean.Registry(static_cast<uint32_t>(m)));
            finalNames_.push_back(finals_.back().style == Style::kExact ? finals_.back().number : 0);
        }
        start_.finalNames = std::make_shared<const std::vector<int32_t>>(finalNames_);
        start_.quiet = true;
        if (!clean.broken.empty() || clean.RebootDue() || !clean.record.empty()) Fail(clean, "the quiet run");
    }

    void Explore(const FakePorts& s, int events) {
        const std::string key = Key(s);
        const auto seen = seen_.find(key);
        if (seen != seen_.end() && seen->second >= events) return;
        seen_[key] = events;
        ++states_;
        // At rest from here: after a reboot if one is due, which the reboot below
        // explores, else the run below in which every restart happens.
        if (events == 0) {
            AtRest(s, false);
            return;
        }
        FakePorts rebooted = s;
        rebooted.Reboot();
        path_.push_back("reboot");
        Explore(rebooted, events - 1);
        path_.back() = "run";
        // Each way the restarts can go is run once; a run cut short before any of
        // its changes leaves what it would have left there, taken on the way
        // (once for the changes it shares with the sequence before).
        Script script;
        do {
            std::vector<FakePorts> cuts;
            FakePorts run = s;
            run.ClearLogs();
            // The first sequence is the one at rest; near the layout, what "-Status" says of it is checked too.
            const bool status = script.fresh < 0 && events >= 2 && !s.RebootDue();
            run.quiet = !status;
            run.choose = std::ref(script);
            run.onCut = [&](const FakePorts& machine) {
                // Only a state not explored yet is taken (a copy of the machine costs more than its key).
                if (static_cast<int>(script.at) <= script.fresh) return;
                const auto seen = seen_.find(Key(machine, machine.InDoubtIfCut()));
                if (seen == seen_.end() || seen->second < events - 1) cuts.push_back(machine.CutHere());
            };
            run.Run();
            ++runs_;
            const std::string text = "run " + script.Text();
            for (size_t c = 0; c < cuts.size(); ++c) {
                path_.back() = text + " cut " + std::to_string(c);
                if (!cuts[c].broken.empty()) Fail(cuts[c], cuts[c].broken.front());
                Explore(cuts[c], events - 1);
            }
            path_.back() = text;
            if (!run.broken.empty()) Fail(run, run.broken.front());
            if (script.fresh < 0 && !s.RebootDue()) CheckRest(s, run, status);
            run.choose = nullptr;
            run.onCut = nullptr;
            Explore(run, events - 1);
        } while (script.Next());
        path_.pop_back();
    }

    const FakePorts& start() const { return start_; }
    size_t states() const { return states_; }
    size_t runs() const { return runs_; }
    const std::vector<std::string>& failures() const { return failures_; }

private:
    // The machine as the re-map can see it: the record without its stamp, which
    // matters only by being the marker's or not.
    static std::string Key(const FakePorts& f) { return Key(f, f.inDoubt); }
    static std::string Key(const FakePorts& f, const std::bitset<512>& inDoubt) {
        std::string key;
        key.reserve(64 + f.record.size());
        for (size_t m = 0; m < f.members.size(); ++m) {
            const FakeMember& p = f.members[m];
            key += {static_cast<char>(p.number), static_cast<char>(p.style), static_cast<char>(p.friendly),
                    static_cast<char>(f.live[m].number), static_cast<char>(f.live[m].style)};
        }
        for (int32_t n = 1; n <= 16; ++n) key += HoldsComNumber(f.reserved, n) ? '1' : '0';
        key += {'|', static_cast<char>((inDoubt & std::bitset<512>(0xFF)).to_ulong()), static_cast<char>(f.marker != 0)};
        if (!f.record.empty()) {
            std::string record(f.record.begin(), f.record.end());
            uint64_t stamp = 0;
            for (int b = 0; b < 8 && f.record.size() >= 24; ++b) stamp |= static_cast<uint64_t>(f.record[16 + b]) << (8 * b);
            const bool same = f.marker != 0 && f.marker == stamp;
            record.replace(16, 8, 8, '\0');
            key += static_cast<char>(same) + record;
        }
        return key;
    }

    void AtRest(const FakePorts& s, bool status) {
        FakePorts before = s;
        if (before.RebootDue()) before.Reboot();
        FakePorts rest = before;
        rest.ClearLogs();
        rest.quiet = !status;
        rest.Run();
        path_.push_back("at rest");
        CheckRest(before, rest, status);
        path_.pop_back();
    }

    // After the run that brings the machine to rest, from `before`: it ends on the
    // final names, and "-Status" on `before` told what it did, changing nothing.
    void CheckRest(const FakePorts& before, const FakePorts& rest, bool status) {
        std::string wrong = status ? Status(before, rest) : "";
        if (!rest.broken.empty()) wrong = rest.broken.front();
        for (size_t m = 0; m < rest.members.size() && wrong.empty(); ++m) {
            const FakeName want = finals_[m];
            if (!(rest.Registry(static_cast<uint32_t>(m)) == want) || !(rest.live[m] == want)) wrong = "a port at rest is not on its final name";
            const bool friendly = start_.members[m].friendly || !(finals_[m] == start_.Registry(static_cast<uint32_t>(m)));
            if (rest.members[m].friendly != friendly) wrong = "a port at rest has not its final friendly name";
        }
        if (wrong.empty() && !rest.SameReserved(start_)) wrong = "the database at rest is not as it was";
        if (wrong.empty() && (!rest.record.empty() || rest.marker != 0)) wrong = "a record is left at rest";
        if (!wrong.empty()) Fail(rest, wrong + " (at rest)");
    }

    // What "-Status" says a plain run does against what `run` did from `before`.
    static std::string Status(const FakePorts& before, const FakePorts& run) {
        FakePorts probe = before;
        DryRun status(probe);
        RemapPorts(status);
        if (probe.changesAsked != before.changesAsked || Key(probe) != Key(before)) return "-Status changed the machine";
        if (status.Changes() != (Key(run) != Key(before))) return "-Status told wrongly whether a run changes anything";
        DryRun told(probe);  // the run's own account, summed up as -Status sums it up
        for (size_t i = 0; i < run.notes.size(); ++i) {
            told.Report(run.notes[i].first, run.notes[i].second, run.noteArgs[i].first, run.noteArgs[i].second);
        }
        for (uint32_t m = 0; m < run.members.size(); ++m) {
            const PortVerdict a = status.Verdict(m), b = told.Verdict(m);
            if (a.told != b.told || a.note != b.note || a.number != b.number || a.written != b.written ||
                a.restarted != b.restarted || a.spare != b.spare) {
                return "-Status's verdict on port " + std::to_string(m) + " is not what the run did";
            }
        }
        for (PlanNote note : run.planNotes) {
            if (!status.Plan().told[static_cast<uint32_t>(note)]) return "-Status did not tell what the run did with the plan";
        }
        return "";
    }

    void Fail(const FakePorts& end, const std::string& what) {
        if (failures_.size() >= 5) return;
        std::string text = what + ": " + Describe(start_) + "->";
        for (const std::string& step : path_) text += " [" + step + "]";
        failures_.push_back(text + " -> " + Describe(end));
    }

    FakePorts start_;
    std::vector<FakeName> finals_;
    std::vector<int32_t> finalNames_;
    std::unordered_map<std::string, int> seen_;
    std::vector<std::string> path_;
    std::vector<std::string> failures_;
    size_t states_ = 0, runs_ = 0;
};

// Every layout of the scope, with every foreign holder.
std::vector<FakePorts> Layouts() {
    std::vector<FakePorts> layouts;
    for (int32_t n = 1; n <= 4; ++n) {
        std::vector<int32_t> numbers;
        for (int32_t k = 1; k <= n; ++k) numbers.push_back(k);
        do {
            // -1: every name exact; else port `odd` is named LPT<n>. COM0<n> is not
            // explored apart: the re-map reads both as "reads as n, not exactly COM<n>".
            for (int32_t odd = -1; odd < n; ++odd) {
                std::vector<FakeMember> members;
                for (int32_t i = 0; i < n; ++i) {
                    FakeMember m = {numbers[i], true, i + 1};
                    m.friendly = true;
                    if (odd == i) m.style = Style::kLpt;
                    members.push_back(m);
                }
                for (int32_t foreign = 0; foreign <= 2 * (n + 1); ++foreign) {
                    FakePorts f(members);
                    for (int32_t k = 1; k <= n; ++k) f.Reserve(k);
                    if (foreign >= 1 && foreign <= n + 1) f.foreignNode = foreign;
                    if (foreign > n + 1) f.foreignLive = foreign - (n + 1);
                    if (f.foreignNode != 0) f.Reserve(f.foreignNode);
                    f.Start();
                    layouts.push_back(f);
                }
            }
        } while (std::next_permutation(numbers.begin(), numbers.end()));
    }
    return layouts;
}

TEST(RemapModel, EveryLayoutEveryRestartEveryCutAndUpToFourEvents) {
    size_t states = 0, runs = 0, layouts = 0;
    std::vector<std::string> failures;
    for (const FakePorts& layout : Layouts()) {
        Explorer explorer(layout);
        explorer.Explore(explorer.start(), 4);
        states += explorer.states();
        runs += explorer.runs();
        ++layouts;
        for (const std::string& f : explorer.failures()) {
            if (failures.size() < 20) failures.push_back(f);
        }
    }
    std::printf("model check: %zu layouts, %zu states explored, %zu runs\n", layouts, states, runs);
    for (const std::string& f : failures) ADD_FAILURE() << f;
}

}  // namespace
}  // namespace mioutil
