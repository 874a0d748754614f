// "-UninstallDriver" cleaning the uninstall entries of both registry views and the
// vendor's keys. Each test arranges entries with real registry calls, runs the
// real tool and compares both views before and after: only the card's entries
// may go, everything else must be exactly as it was.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "harness.h"
#include "names.h"

namespace {

enum class View { k32, k64 };
const View kViews[] = {View::k32, View::k64};

REGSAM ViewFlag(View v) { return v == View::k32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }
const char* ViewName(View v) { return v == View::k32 ? "32-bit view" : "64-bit view"; }

// Every entry a test makes starts with this, so leftovers can be found and removed.
const std::wstring kPrefix = L"mioutil-e2e ";

// The Windows versions whose platform class leads to the x64 rows of the pass table.
const wchar_t* const kX64Versions[] = {L"winxp64", L"win7", L"win10"};

HKEY OpenOrCreate(View v, const std::wstring& path) {
    HKEY k = nullptr;
    const LONG s = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | ViewFlag(v),
                                   nullptr, &k, nullptr);
    EXPECT_EQ(s, ERROR_SUCCESS) << ViewName(v) << " " << testing::PrintToString(path);
    return s == ERROR_SUCCESS ? k : nullptr;
}

void SetText(HKEY k, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ, bool terminated = true) {
    const DWORD bytes = static_cast<DWORD>((text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
    ASSERT_EQ(RegSetValueExW(k, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()), bytes), ERROR_SUCCESS);
}

struct Entry {
    Entry(std::wstring n, std::wstring u, DWORD t = REG_SZ, bool term = true, std::wstring display = L"",
          bool subkey = false)
        : name(std::move(n)), uninstallString(std::move(u)), type(t), terminated(term),
          displayName(std::move(display)), withSubkey(subkey) {}
    std::wstring name;             // after kPrefix
    std::wstring uninstallString;  // empty: no such value
    DWORD type;
    bool terminated;
    std::wstring displayName;
    bool withSubkey;
};

void Put(View v, const Entry& e) {
    HKEY k = OpenOrCreate(v, std::wstring(mioutil::kUninstallKeyPath) + L"\\" + kPrefix + e.name);
    if (k == nullptr) return;
    if (!e.uninstallString.empty()) SetText(k, L"UninstallString", e.uninstallString, e.type, e.terminated);
    if (!e.displayName.empty()) SetText(k, L"DisplayName", e.displayName);
    if (e.withSubkey) {
        HKEY sub = nullptr;
        EXPECT_EQ(RegCreateKeyExW(k, L"Components", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
                  ERROR_SUCCESS);
        if (sub != nullptr) {
            SetText(sub, L"Part", L"krvcard.sys");
            RegCloseKey(sub);
        }
    }
    RegCloseKey(k);
}

// A key's content in one text: its values (raw bytes shown as code units) and,
// recursively, its subkeys. Two equal texts mean nothing below the key changed.
std::wstring Describe(HKEY k) {
    std::wstring out;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameChars = 16384, type = 0, bytes = 0;
        if (RegEnumValueW(k, i, name, &nameChars, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) break;
        std::vector<BYTE> data(bytes + 2, 0);
        nameChars = 16384;
        RegEnumValueW(k, i, name, &nameChars, nullptr, &type, data.data(), &bytes);
        out += L"[" + std::wstring(name) + L"]" + std::to_wstring(type) + L"=" +
               std::wstring(reinterpret_cast<const wchar_t*>(data.data()), bytes / sizeof(wchar_t)) + L";";
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        if (RegEnumKeyW(k, i, name, 256) != ERROR_SUCCESS) break;
        HKEY sub = nullptr;
        if (RegOpenKeyExW(k, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) {
            out += L"{" + std::wstring(name) + L" unreadable}";
            continue;
        }
        out += L"{" + std::wstring(name) + L":" + Describe(sub) + L"}";
        RegCloseKey(sub);
    }
    return out;
}

// The subkeys of a key in one view, each with its whole content; empty when the key is missing.
std::map<std::wstring, std::wstring> Children(View v, const std::wstring& path) {
    std::map<std::wstring, std::wstring> children;
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | ViewFlag(v), &k) != ERROR_SUCCESS) {
        return children;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        if (RegEnumKeyW(k, i, name, 256) != ERROR_SUCCESS) break;
        HKEY sub = nullptr;
        children[name] = RegOpenKeyExW(k, name, 0, KEY_READ, &sub) == ERROR_SUCCESS ? Describe(sub) : L"unreadable";
        if (sub != nullptr) RegCloseKey(sub);
    }
    RegCloseKey(k);
    return children;
}

bool KeyExists(View v, const std::wstring& path) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | ViewFlag(v), &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

void DeleteTree(View v, const std::wstring& parent, const std::wstring& name) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, parent.c_str(), 0, KEY_ALL_ACCESS | ViewFlag(v), &k) != ERROR_SUCCESS) return;
    RegDeleteTreeW(k, name.c_str());
    RegDeleteKeyW(k, name.c_str());
    RegCloseKey(k);
}

// Everything a test here creates: its uninstall entries and the vendor trees.
void RemoveLeftovers() {
    for (View v : kViews) {
        for (const auto& child : Children(v, mioutil::kUninstallKeyPath)) {
            if (child.first.compare(0, kPrefix.size(), kPrefix) == 0) {
                DeleteTree(v, mioutil::kUninstallKeyPath, child.first);
            }
        }
        DeleteTree(v, L"SOFTWARE", L"Korav");
        DeleteTree(v, L"SOFTWARE", L"Koravian");
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\mioutil.exe");
}

// A key's whole content in one view, or "missing".
std::wstring DescribePath(View v, const std::wstring& path) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | ViewFlag(v), &k) != ERROR_SUCCESS) {
        return L"missing";
    }
    std::wstring d = Describe(k);
    RegCloseKey(k);
    return d;
}

// Both views of the uninstall key, and the vendor's and a neighbour's trees.
struct Snapshot {
    std::map<std::wstring, std::wstring> entries[2];
    std::wstring vendor[2];
    std::wstring neighbour[2];

    static Snapshot Take() {
        Snapshot s;
        for (View v : kViews) {
            const int i = static_cast<int>(v);
            s.entries[i] = Children(v, mioutil::kUninstallKeyPath);
            s.vendor[i] = DescribePath(v, L"SOFTWARE\\Korav");
            s.neighbour[i] = DescribePath(v, L"SOFTWARE\\Koravian");
        }
        return s;
    }
};

class UninstallRegistry : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(e2e::RunningUnderWine()) << "the version switch is Wine's own";
        RemoveLeftovers();
        // A fresh prefix has no uninstall key in the 32-bit view.
        for (View v : kViews) RegCloseKey(OpenOrCreate(v, mioutil::kUninstallKeyPath));
    }
    void TearDown() override { RemoveLeftovers(); }

    // Runs the tool as the given Windows version, twice: the second run finds
    // nothing more to do. Its exit code belongs to the OEM INF step, which is
    // not under test here (another vendor's oem*.inf: 0).
    static void RunUninstall(const wchar_t* version, const e2e::Changes& changes,
                             const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
        e2e::WineVersionFor as(L"mioutil.exe", version);
        e2e::RunTool(mioutil::kSwitchUninstallDriver, changes, file, line);
        e2e::RunAgain(mioutil::kSwitchUninstallDriver, 0, file, line);
    }

    // Runs the tool and checks that exactly the named entries left each view and
    // nothing else below the uninstall key changed, nor anywhere else but `also`.
    static void ExpectOnlyDeleted(const wchar_t* version, const std::vector<std::wstring> gone[2],
                                  e2e::Changes also = e2e::Changes(), const char* file = __builtin_FILE(),
                                  int line = __builtin_LINE()) {
        for (View v : kViews) {
            const std::wstring entries = v == View::k32 ? L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                                                        : std::wstring(mioutil::kUninstallKeyPath) + L"\\";
            for (const std::wstring& name : gone[static_cast<int>(v)]) also.Gone(entries + kPrefix + name);
        }
        const Snapshot before = Snapshot::Take();
        RunUninstall(version, also, file, line);
        const Snapshot after = Snapshot::Take();
        for (View v : kViews) {
            const int i = static_cast<int>(v);
            std::map<std::wstring, std::wstring> expected = before.entries[i];
            for (const std::wstring& name : gone[i]) {
                EXPECT_EQ(expected.erase(kPrefix + name), 1u) << "not arranged: " << testing::PrintToString(name);
            }
            EXPECT_EQ(after.entries[i], expected) << ViewName(v) << " as " << testing::PrintToString(version);
        }
    }
};

std::wstring DriverStorePath(const std::wstring& inf) {
    return L"C:\\Windows\\System32\\DriverStore\\FileRepository\\" + inf + L"_amd64_neutral_5c1e\\" + inf;
}

TEST_F(UninstallRegistry, DeletesTheCardsEntriesInBothViewsAndNothingElse) {
    const std::wstring difx = L"C:\\PROGRA~1\\DIFX\\7D3B2A40\\DPInst64.exe /u ";
    const std::vector<Entry> theCards = {
        {L"pci bus", difx + DriverStorePath(L"krvpci.inf")},
        {L"pci bus p", difx + DriverStorePath(L"krvpcip.inf")},
        {L"card", difx + DriverStorePath(L"krvcard.inf")},
        {L"port", difx + DriverStorePath(L"krvport.inf")},
        {L"oem card", difx + DriverStorePath(L"mevcard.inf")},
        {L"oem port", difx + DriverStorePath(L"mevport.inf")},
        {L"installer", L"\"C:\\Program Files (x86)\\KORAV\\KRVInst.exe\" /uninstall"},
        // Read raw: the text is not expanded, and the target is in it as written.
        {L"expand", L"%ProgramFiles%\\KORAV\\krvport\\remove.exe", REG_EXPAND_SZ},
    };
    const std::vector<Entry> notTheCards = {
        {L"other product", L"\"C:\\Program Files\\Other\\uninstall.exe\" /S"},
        {L"other case", difx + DriverStorePath(L"KRVPCI.INF")},
        {L"krvcard by its name", L"C:\\Other\\remove.exe", REG_SZ, true, L"krvcard mevport KRVInst.exe"},
        {L"no uninstall string", L"", REG_SZ, true, L"krvpci"},
        {L"near miss", L"C:\\krv\\pci\\mev_card\\KRVInst.ex"},
    };
    const Entry vendorProduct = {L"vendor product", L"\"C:\\Program Files\\Korav\\PCI_MultiIO_Driver\\uninst.exe\""};

    for (const wchar_t* version : kX64Versions) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(version)));
        std::vector<std::wstring> gone[2];
        for (View v : kViews) {
            for (const Entry& e : theCards) {
                Put(v, e);
                gone[static_cast<int>(v)].push_back(e.name);
            }
            for (const Entry& e : notTheCards) Put(v, e);
            Put(v, vendorProduct);
        }
        // The vendor's product path is looked for in the 32-bit view only.
        gone[static_cast<int>(View::k32)].push_back(vendorProduct.name);

        ExpectOnlyDeleted(version, gone);
        RemoveLeftovers();
    }
}

TEST_F(UninstallRegistry, AdjacentMatchesAndAnEntryWithSubkeys) {
    for (const wchar_t* version : kX64Versions) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(version)));
        std::vector<std::wstring> gone[2];
        for (View v : kViews) {
            const int i = static_cast<int>(v);
            // Next to each other in enumeration order, with no other entry between.
            Put(v, {L"adjacent 1", L"C:\\drivers\\mevport.inf"});
            Put(v, {L"adjacent 2", L"C:\\drivers\\mevport.inf"});
            Put(v, {L"adjacent 3", L"C:\\drivers\\mevport.inf"});
            gone[i].insert(gone[i].end(), {L"adjacent 1", L"adjacent 2", L"adjacent 3"});
            // The registry refuses to delete a key with subkeys: it stays, the pass
            // still ends, and the entries after it are still examined.
            Put(v, {L"nested 1", L"C:\\drivers\\krvcard.inf", REG_SZ, true, L"", true});
            Put(v, {L"nested 2", L"C:\\drivers\\krvcard.inf"});
            Put(v, {L"nested 3", L"C:\\other\\setup.exe"});
            Put(v, {L"nested 4", L"C:\\drivers\\krvcard.inf"});
            gone[i].insert(gone[i].end(), {L"nested 2", L"nested 4"});
        }
        ExpectOnlyDeleted(version, gone);
        for (View v : kViews) {
            EXPECT_TRUE(KeyExists(v, std::wstring(mioutil::kUninstallKeyPath) + L"\\" + kPrefix + L"nested 1\\Components"))
                << ViewName(v);
        }
        RemoveLeftovers();
    }
}

TEST_F(UninstallRegistry, UninstallStringsLongerThanTheBufferNeverMatch) {
    // The value buffer holds 260 characters. A longer value is not matched on
    // whatever part of it the registry may have left in the buffer. Wine 8 leaves
    // the buffer untouched on ERROR_MORE_DATA (Windows documents it as undefined),
    // so here the long entries would stay even if the read's status were ignored.
    const std::wstring folder = L"C:\\Drivers\\";
    for (View v : kViews) {
        // 259 characters and the terminator: fits, matches.
        Put(v, {L"fits", folder + std::wstring(259 - folder.size() - 11, L'x') + L"krvcard.inf"});
        // 260 characters stored without a terminator fill the buffer exactly and match.
        // The registry adds a terminator to a text type that lacks one; binary data keeps it out.
        Put(v, {L"fills", folder + std::wstring(260 - folder.size() - 11, L'x') + L"krvcard.inf", REG_BINARY, false});
        // 260 characters and the terminator: one character too long.
        Put(v, {L"one too long", L"krvcard.inf" + std::wstring(260 - 11, L'x')});
        Put(v, {L"very long", folder + L"krvcard.inf /q " + std::wstring(2000, L'x')});
    }
    std::vector<std::wstring> gone[2] = {{L"fits", L"fills"}, {L"fits", L"fills"}};
    ExpectOnlyDeleted(L"win10", gone);
}

struct VendorCase {
    const char* what;
    std::vector<std::wstring> arranged;  // below SOFTWARE, in the 64-bit view
    std::vector<std::wstring> kept;      // what must still be there afterwards
    std::vector<std::wstring> goneKeys;  // what must not
};

TEST_F(UninstallRegistry, DeletesTheVendorTreeOnlyWhereItHoldsNothingElse) {
    const std::wstring setup = L"Korav\\PCI_MultiIO_Driver\\Setup";
    const std::wstring product = L"Korav\\PCI_MultiIO_Driver";
    const VendorCase cases[] = {
        {"the tree alone", {setup}, {}, {setup, product, L"Korav"}},
        {"another product of the vendor", {setup, L"Korav\\Other Product"}, {L"Korav", L"Korav\\Other Product"},
         {setup, product}},
        {"a foreign key inside the product", {setup, product + L"\\Extra"}, {L"Korav", product, product + L"\\Extra"},
         {setup}},
        {"no Setup key", {product}, {}, {product, L"Korav"}},
    };
    for (const VendorCase& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::wstring& path : c.arranged) {
            HKEY k = OpenOrCreate(View::k64, L"SOFTWARE\\" + path);
            if (k != nullptr) {
                SetText(k, L"InstallDir", L"C:\\Program Files\\Korav");
                RegCloseKey(k);
            }
        }
        // A neighbour whose name starts the same, and the vendor's tree in the
        // 32-bit view: the keys are deleted in the tool's own view only.
        RegCloseKey(OpenOrCreate(View::k64, L"SOFTWARE\\Koravian\\Tools"));
        RegCloseKey(OpenOrCreate(View::k32, L"SOFTWARE\\" + setup));
        const Snapshot before = Snapshot::Take();
        e2e::Changes gone;
        for (const std::wstring& path : c.goneKeys) gone.Gone(L"SOFTWARE\\" + path);

        RunUninstall(L"win10", gone);

        const Snapshot after = Snapshot::Take();
        for (const std::wstring& path : c.kept) EXPECT_TRUE(KeyExists(View::k64, L"SOFTWARE\\" + path)) << testing::PrintToString(path);
        for (const std::wstring& path : c.goneKeys) {
            EXPECT_FALSE(KeyExists(View::k64, L"SOFTWARE\\" + path)) << testing::PrintToString(path);
        }
        const int i64 = static_cast<int>(View::k64), i32 = static_cast<int>(View::k32);
        EXPECT_EQ(after.vendor[i32], before.vendor[i32]);
        EXPECT_EQ(after.neighbour[i64], before.neighbour[i64]);
        EXPECT_NE(after.neighbour[i64], L"missing");
        EXPECT_EQ(after.entries[i64], before.entries[i64]);
        EXPECT_EQ(after.entries[i32], before.entries[i32]);
        RemoveLeftovers();
    }
}

TEST_F(UninstallRegistry, UnclassifiedAndX86SystemsUseTheirRowsOfThePassTable) {
    // Wine reports an AMD64 processor whatever the version, but versions 5.0 and
    // 5.1 are classed x86 without looking at it, and 4.0 is not classed at all.
    // On a class without the x64 bits the passes do not name a view, so in this
    // 64-bit tool they land in the 64-bit view.
    const std::vector<Entry> theCards = {
        {L"card", L"C:\\drivers\\krvcard.inf"},
        {L"vendor product", L"C:\\Program Files\\Korav\\PCI_MultiIO_Driver\\uninst.exe"},
    };
    const struct {
        const wchar_t* version;
        bool cleans64;  // the only view an x86 system has
    } systems[] = {
        {L"nt40", false},  // class 0: the key opens with no access and enumerates nothing
        {L"winxp", true},  // x86: the 32-bit passes work on the only view, the 64-bit passes skip
    };
    for (const auto& s : systems) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(s.version)));
        std::vector<std::wstring> gone[2];
        for (View v : kViews) {
            for (const Entry& e : theCards) Put(v, e);
        }
        Put(View::k64, {L"other product", L"C:\\Other\\uninstall.exe"});
        if (s.cleans64) gone[static_cast<int>(View::k64)] = {L"card", L"vendor product"};
        RegCloseKey(OpenOrCreate(View::k64, L"SOFTWARE\\Korav\\PCI_MultiIO_Driver\\Setup"));

        ExpectOnlyDeleted(s.version, gone, e2e::Changes().Gone(L"SOFTWARE\\Korav"));
        // The vendor's keys go whatever the class.
        EXPECT_FALSE(KeyExists(View::k64, L"SOFTWARE\\Korav"));
        RemoveLeftovers();
    }
}

}  // namespace
