// The collateral guard: what a run of the tool changed on the machine, and a
// check that it is exactly what the test expects.
//
// The registry is recorded item by item (keys and values) where a run may be
// expected to change something: the device nodes (Enum), the setup classes'
// software keys (Control\Class), the COM-port database (COM Name Arbiter), the
// uninstall keys of both views and the vendor's keys. Every other subtree of
// HKLM\SOFTWARE and of HKLM\SYSTEM\CurrentControlSet is watched as a whole with
// a change notification, so that a change anywhere there fails the test too,
// without the cost of reading thousands of keys before and after each run.
// The files of the INF folder are recorded by name, attributes, size and content.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

/// What a run is expected to change. Paths are below HKEY_LOCAL_MACHINE, in the
/// 64-bit view (the 32-bit view is SOFTWARE\Wow6432Node); a '*' stands for one
/// whole key name. Whatever changes without being named here fails the test, and
/// so does whatever is named (except with MayChange) without having changed.
class Changes {
public:
    /// The key goes with everything below it.
    Changes& Gone(const std::wstring& key);
    /// The key is made, with what is below it.
    Changes& Made(const std::wstring& key);
    Changes& ValueGone(const std::wstring& key, const std::wstring& value);
    /// The value is written with other data than it had, or made.
    Changes& ValueSet(const std::wstring& key, const std::wstring& value);
    /// The value may get other data, or keep its own (keys matched by pattern).
    Changes& MayChange(const std::wstring& keyPattern, const std::wstring& value);
    /// A file of the INF folder goes.
    Changes& FileGone(const std::wstring& name);

    enum class Kind { kKeyMade, kKeyGone, kValueGone, kValueSet, kMayChange, kFileGone };
    struct Expected {
        Kind kind;
        std::wstring where;  // key path, or file path
        std::wstring value;
    };
    const std::vector<Expected>& expected() const { return expected_; }

private:
    std::vector<Expected> expected_;
};

/// A recording of the machine; it keeps its change notifications armed while it lives.
class Collateral {
public:
    Collateral();
    ~Collateral();
    Collateral(const Collateral&) = delete;
    Collateral& operator=(const Collateral&) = delete;

    /// Records the machine again and fails the test at file:line for each change
    /// that `changes` does not name, and each it names that did not happen.
    void Expect(const Changes& changes, const char* file, int line) const;

    /// A recorded item: a key (value part empty), a value ("=" and its name), or a file.
    using Item = std::pair<std::wstring, std::wstring>;
    struct Watch;

private:
    std::map<Item, std::string> items_;
    std::vector<Watch*> watches_;
};

/// Puts the things that are not the card's on the machine (each test process
/// starts with them), and takes them away again.
testing::AssertionResult PlantForeignThings();
void RemoveForeignThings();
/// The foreign oem*.inf files alone: a test that needs an INF folder without any
/// oem*.inf takes them away and puts them back.
testing::AssertionResult PlantForeignInfs();
void RemoveForeignInfs();

}  // namespace e2e
