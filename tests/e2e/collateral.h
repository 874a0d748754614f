// The collateral guard: what a run of the tool changed on the machine, and a
// check that it is exactly what the test expects.
//
// The watched state is a sorted set of text lines, compared before and after a
// run the way Wine's registry export tests compare text:
//   HKLM\SOFTWARE\Korav\                       a key
//   HKLM\SOFTWARE\Korav\"InstallDir"=1:43003a00  a value: type, data in hex
//   C:\windows\inf\oem7001.inf=0:95:0123abcd...  a file: attributes, size, FNV-1a
// Keys and values are recorded line by line where a run may be expected to change
// something: the device nodes (Enum), the setup classes' software keys
// (Control\Class), the COM-port database, the uninstall keys of both views and
// the vendor's keys; files in the INF folder, and where a run would leave its
// run lock or a DLL's private folder. Every other subtree of HKLM\SOFTWARE and
// of HKLM\SYSTEM\CurrentControlSet is one key line, watched as a whole with a
// change notification, so that a change anywhere there fails the test too
// without reading thousands of keys before and after each run.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <set>
#include <string>
#include <vector>

#include "helpers.h"

namespace e2e {

/// What a run is expected to change, as lines or line prefixes. Paths are below
/// HKEY_LOCAL_MACHINE, in the 64-bit view (the 32-bit view is SOFTWARE\Wow6432Node);
/// a '*' stands for one whole key name. A changed line no rule names fails the
/// test, and so does a rule (except MayChange) that no line shows happened.
class Changes {
public:
    /// The key goes with everything below it.
    Changes& Gone(const std::wstring& key) { return Add(kGone, Key(key), Key(key)); }
    /// The key is made, with what is below it.
    Changes& Made(const std::wstring& key) { return Add(kMade, Key(key), Key(key)); }
    Changes& ValueGone(const std::wstring& key, const std::wstring& value) { return Add(kGone, Value(key, value), ""); }
    /// The value is written with other data than it had, or made.
    Changes& ValueSet(const std::wstring& key, const std::wstring& value) { return Add(kSet, Value(key, value), ""); }
    /// The value may get other data, or keep its own (keys matched by pattern).
    Changes& MayChange(const std::wstring& keyPattern, const std::wstring& value) {
        return Add(kMay, Value(keyPattern, value), "");
    }
    /// A file of the INF folder goes.
    Changes& FileGone(const std::wstring& name);

    enum Kind { kGone, kMade, kSet, kMay };
    struct Rule {
        Kind kind;
        std::string prefix;  // of the lines it covers
        std::string line;    // a key rule's own line, which must change; "" for the others
    };
    const std::vector<Rule>& rules() const { return rules_; }

private:
    static std::string Key(const std::wstring& key);
    static std::string Value(const std::wstring& key, const std::wstring& value);
    Changes& Add(Kind kind, std::string prefix, std::string line) {
        rules_.push_back({kind, std::move(prefix), std::move(line)});
        return *this;
    }
    std::vector<Rule> rules_;
};

/// A recording of the machine; it keeps its change notifications armed while it lives.
class Collateral {
public:
    Collateral();
    Collateral(const Collateral&) = delete;
    Collateral& operator=(const Collateral&) = delete;

    /// Records the machine again and fails the test at file:line with the lines
    /// that changed and `changes` does not name, and each rule that did not happen.
    void Expect(const Changes& changes, const char* file, int line) const;

    struct Watch {
        std::string line;
        mioutil::UniqueRegKey key;
        mioutil::UniqueKernelHandle event;
    };

private:
    std::set<std::string> lines_;
    std::deque<Watch> watches_;  // a deque: the handles do not move
};

/// Puts the things that are not the card's on the machine (each test process
/// starts with them), and takes them away again.
Done PlantForeignThings(At at = Here());
void RemoveForeignThings();
/// The foreign oem*.inf files alone: a test that needs an INF folder without any
/// oem*.inf takes them away and puts them back.
Done PlantForeignInfs(At at = Here());
void RemoveForeignInfs();

}  // namespace e2e
