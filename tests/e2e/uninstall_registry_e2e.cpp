// "-UninstallDriver" cleaning the uninstall entries of both registry views and the
// vendor's keys. Each test arranges entries with real registry calls, runs the
// real tool and compares both views before and after: only the card's entries
// may go, everything else must be exactly as it was.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "harness.h"
#include "names.h"

namespace e2e {
namespace {

const REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
const char* ViewName(REGSAM view) { return view == KEY_WOW64_32KEY ? "32-bit view" : "64-bit view"; }

// Every entry a test makes starts with this, so leftovers can be found and removed.
const std::wstring kPrefix = L"mioutil-e2e ";
const std::wstring kEntries = std::wstring(mioutil::kUninstallKeyPath) + L"\\";

// A Windows version Wine reports to the tool; x86 and unclassified systems have
// only the 64-bit view cleaned, or none.
struct System {
    const wchar_t* version;
    bool cleans64;
};
void PrintTo(const System& s, std::ostream* out) { *out << Narrow(s.version); }

// The versions whose platform class leads to the x64 rows of the pass table.
const System kX64Versions[] = {{L"winxp64", true}, {L"win7", true}, {L"win10", true}};

struct Entry {
    Entry(std::wstring n, std::wstring u, DWORD t = REG_SZ, bool term = true, std::wstring display = L"",
          bool subkey = false, bool rec = false)
        : name(std::move(n)), uninstallString(std::move(u)), type(t), terminated(term),
          displayName(std::move(display)), withSubkey(subkey), record(rec) {}
    std::wstring name;             // after kPrefix
    std::wstring uninstallString;  // empty: no such value
    DWORD type;
    bool terminated;
    std::wstring displayName;
    bool withSubkey;
    bool record;  // a driver-store record the first step refuses to run
};

// The card's own entry is named as its installer names it; every other after kPrefix.
std::wstring FullName(const std::wstring& name) {
    return name == mioutil::kCardUninstallEntry ? name : kPrefix + name;
}

bool Put(REGSAM view, const Entry& e, At at = Here()) {
    const std::wstring key = kEntries + FullName(e.name);
    const DWORD bytes = static_cast<DWORD>((e.uninstallString.size() + (e.terminated ? 1 : 0)) * sizeof(wchar_t));
    const HKEY hklm = HKEY_LOCAL_MACHINE;
    return CreateKey(view, key, hklm, at) &&
           (e.uninstallString.empty() ||
            SetValue(view, key, L"UninstallString", e.type, e.uninstallString.c_str(), bytes, hklm, at)) &&
           (e.displayName.empty() || SetText(view, key, L"DisplayName", e.displayName, REG_SZ, hklm, at)) &&
           (!e.withSubkey || SetText(view, key + L"\\Components", L"Part", L"krvcard.sys", REG_SZ, hklm, at)) &&
           (!e.record || SetText(view, key, L"DriverStorePath0", L"C:\\drv\\a.inf & echo x", REG_SZ, hklm, at));
}

// Everything a test here creates: its uninstall entries and the vendor trees.
void RemoveLeftovers() {
    for (REGSAM view : kViews) {
        for (const std::wstring& name : SubkeyNames(view, mioutil::kUninstallKeyPath)) {
            if (name.compare(0, kPrefix.size(), kPrefix) == 0) DeleteTree(view, kEntries + name);
        }
        DeleteTree(view, kEntries + mioutil::kCardUninstallEntry);
        DeleteTree(view, L"SOFTWARE\\Korav");
        DeleteTree(view, L"SOFTWARE\\Koravian");
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\mioutil.exe");
}

using Gone = std::map<REGSAM, std::vector<std::wstring>>;  // entry names, after kPrefix, by view

class UninstallRegistry : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RunningUnderWine()) << "the version switch is Wine's own";
        RemoveLeftovers();
        // A fresh prefix has no uninstall key in the 32-bit view.
        for (REGSAM view : kViews) ASSERT_TRUE(CreateKey(view, mioutil::kUninstallKeyPath));
    }
    void TearDown() override { RemoveLeftovers(); }

    // Runs the tool as the given Windows version, twice: the second run finds
    // nothing more to do. Its exit code belongs to the OEM INF step, which is
    // not under test here (another vendor's oem*.inf: 0).
    static void RunUninstall(const wchar_t* version, const Changes& changes,
                             const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
        WineVersionFor as(L"mioutil.exe", version);
        RunTool(mioutil::kSwitchUninstallDriver, changes, file, line);
        RunAgain(mioutil::kSwitchUninstallDriver, 0, file, line);
    }

    // Runs the tool: exactly the named entries leave each view, and nothing else
    // changes but `also` (the guard records both views of the uninstall key).
    static void ExpectOnlyDeleted(const wchar_t* version, Gone gone, Changes also = Changes(),
                                  const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
        for (REGSAM view : kViews) {
            const std::wstring entries = view == KEY_WOW64_32KEY
                                             ? L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                                             : kEntries;
            for (const std::wstring& name : gone[view]) also.Gone(entries + FullName(name));
        }
        RunUninstall(version, also, file, line);
    }
};

std::wstring DriverStorePath(const std::wstring& inf) {
    return L"C:\\Windows\\System32\\DriverStore\\FileRepository\\" + inf + L"_amd64_neutral_5c1e\\" + inf;
}

// The tests that run as each Windows version whose platform class leads to the
// x64 rows of the pass table.
class UninstallRegistryX64 : public UninstallRegistry, public testing::WithParamInterface<System> {};

INSTANTIATE_TEST_SUITE_P(On, UninstallRegistryX64, testing::ValuesIn(kX64Versions));

TEST_P(UninstallRegistryX64, DeletesTheCardsEntriesInBothViewsAndNothingElse) {
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
        // A driver-store record keeps no entry the first step never reads: neither
        // another entry, nor the card's name in the 32-bit view (a 32-bit installer's).
        {L"with record", L"C:\\drivers\\krvport.inf", REG_SZ, true, L"", false, true},
    };
    const Entry cardsEntry = {mioutil::kCardUninstallEntry, L"\"C:\\Program Files\\KORAV\\KRVInst.exe\" /uninstall",
                              REG_SZ, true, L"", false, true};
    const std::vector<Entry> notTheCards = {
        {L"other product", L"\"C:\\Program Files\\Other\\uninstall.exe\" /S"},
        {L"other case", difx + DriverStorePath(L"KRVPCI.INF")},
        {L"krvcard by its name", L"C:\\Other\\remove.exe", REG_SZ, true, L"krvcard mevport KRVInst.exe"},
        {L"no uninstall string", L"", REG_SZ, true, L"krvpci"},
        {L"near miss", L"C:\\krv\\pci\\mev_card\\KRVInst.ex"},
    };
    const Entry vendorProduct = {L"vendor product", L"\"C:\\Program Files\\Korav\\PCI_MultiIO_Driver\\uninst.exe\""};

    Gone gone;
    for (REGSAM view : kViews) {
        for (const Entry& e : theCards) {
            ASSERT_TRUE(Put(view, e));
            gone[view].push_back(e.name);
        }
        for (const Entry& e : notTheCards) ASSERT_TRUE(Put(view, e));
        ASSERT_TRUE(Put(view, vendorProduct));
        ASSERT_TRUE(Put(view, cardsEntry));
    }
    // The entry the first step reads keeps its refused record, and with it the entry.
    gone[KEY_WOW64_32KEY].push_back(cardsEntry.name);
    // The vendor's product path is looked for in the 32-bit view only.
    gone[KEY_WOW64_32KEY].push_back(vendorProduct.name);

    ExpectOnlyDeleted(GetParam().version, gone);
}

TEST_F(UninstallRegistry, RecordsTheFirstStepNeverReadsKeepNotTheCardsEntry) {
    // Three values: the step reads DriverStorePath2, 1 and 0 only, so neither a record
    // past them nor one with a leading zero was refused, and the entry goes.
    const std::wstring entry = kEntries + mioutil::kCardUninstallEntry;
    ASSERT_TRUE(Put(KEY_WOW64_64KEY, {mioutil::kCardUninstallEntry, L"\"C:\\KORAV\\KRVInst.exe\" /uninstall"}));
    for (const wchar_t* record : {L"DriverStorePath3", L"DriverStorePath01"}) {
        ASSERT_TRUE(SetText(KEY_WOW64_64KEY, entry, record, L"C:\\drv\\a.inf & echo x"));
    }
    ExpectOnlyDeleted(L"win10", {{KEY_WOW64_64KEY, {mioutil::kCardUninstallEntry}}});
}

TEST_P(UninstallRegistryX64, AdjacentMatchesAndAnEntryWithSubkeys) {
    // Refused like "nested 1", so each run logs it: a name that would break the line,
    // reorder it or claim another outcome shows as U+FFFD, after the outcome, shortened.
    const std::wstring forged = L"nested \u202E\u2028\u0085" + std::wstring(200, L'n') + L" deleted";
    Gone gone;
    for (REGSAM view : kViews) {
        // Next to each other in enumeration order, with no other entry between; then,
        // as the registry refuses to delete a key with subkeys, "nested 1" stays, the
        // pass still ends, and the entries after it are still examined.
        const Entry entries[] = {{L"adjacent 1", L"C:\\drivers\\mevport.inf"},
                                 {L"adjacent 2", L"C:\\drivers\\mevport.inf"},
                                 {L"adjacent 3", L"C:\\drivers\\mevport.inf"},
                                 {L"nested 1", L"C:\\drivers\\krvcard.inf", REG_SZ, true, L"", true},
                                 {L"nested 2", L"C:\\drivers\\krvcard.inf"},
                                 {L"nested 3", L"C:\\other\\setup.exe"},
                                 {L"nested 4", L"C:\\drivers\\krvcard.inf"},
                                 {forged, L"C:\\drivers\\krvcard.inf", REG_SZ, true, L"", true}};
        for (const Entry& e : entries) ASSERT_TRUE(Put(view, e));
        gone[view] = {L"adjacent 1", L"adjacent 2", L"adjacent 3", L"nested 2", L"nested 4"};
    }
    ExpectOnlyDeleted(GetParam().version, gone);
    for (REGSAM view : kViews) {
        EXPECT_TRUE(KeyExists(view, kEntries + kPrefix + L"nested 1\\Components")) << ViewName(view);
    }
    int forgedLines = 0;
    for (const std::string& line : LastRunLogSection()) {
        for (const char* raw : {"\xE2\x80\xAE", "\xE2\x80\xA8", "\xC2\x85"}) {
            EXPECT_EQ(line.find(raw), std::string::npos) << line;
        }
        const char* shown = "\"mioutil-e2e nested \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDnnn";
        if (line.find(shown) == std::string::npos) continue;
        ++forgedLines;
        EXPECT_EQ(line.compare(0, 19, "not deleted, error "), 0) << line;
        EXPECT_NE(line.find("nnn\"\xE2\x80\xA6[+1"), std::string::npos) << line;  // 100 shown, 1xx left out
        EXPECT_EQ(line.find("n deleted"), std::string::npos) << line;
    }
    EXPECT_EQ(forgedLines, 2) << "one line in each view";
}

TEST_F(UninstallRegistry, UninstallStringsLongerThanTheBufferNeverMatch) {
    // The value buffer holds 260 characters. A longer value is not matched on
    // whatever part of it the registry may have left in the buffer. Wine 8 leaves
    // the buffer untouched on ERROR_MORE_DATA (Windows documents it as undefined),
    // so here the long entries would stay even if the read's status were ignored.
    const std::wstring folder = L"C:\\Drivers\\";
    for (REGSAM view : kViews) {
        // 259 characters and the terminator: fits, matches.
        ASSERT_TRUE(Put(view, {L"fits", folder + std::wstring(259 - folder.size() - 11, L'x') + L"krvcard.inf"}));
        // 260 characters stored without a terminator fill the buffer exactly and match.
        // The registry adds a terminator to a text type that lacks one; binary data keeps it out.
        ASSERT_TRUE(Put(view, {L"fills", folder + std::wstring(260 - folder.size() - 11, L'x') + L"krvcard.inf",
                               REG_BINARY, false}));
        // 260 characters and the terminator: one character too long.
        ASSERT_TRUE(Put(view, {L"one too long", L"krvcard.inf" + std::wstring(260 - 11, L'x')}));
        ASSERT_TRUE(Put(view, {L"very long", folder + L"krvcard.inf /q " + std::wstring(2000, L'x')}));
    }
    ExpectOnlyDeleted(L"win10", {{KEY_WOW64_32KEY, {L"fits", L"fills"}}, {KEY_WOW64_64KEY, {L"fits", L"fills"}}});
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
            ASSERT_TRUE(SetText(KEY_WOW64_64KEY, L"SOFTWARE\\" + path, L"InstallDir", L"C:\\Program Files\\Korav"));
        }
        // A neighbour whose name starts the same, and the vendor's tree in the
        // 32-bit view: the keys are deleted in the tool's own view only.
        ASSERT_TRUE(CreateKey(KEY_WOW64_64KEY, L"SOFTWARE\\Koravian\\Tools"));
        ASSERT_TRUE(CreateKey(KEY_WOW64_32KEY, L"SOFTWARE\\" + setup));
        // The guard checks the rest: the 32-bit view's tree, the neighbour and every entry stay.
        Changes gone;
        for (const std::wstring& path : c.goneKeys) gone.Gone(L"SOFTWARE\\" + path);

        RunUninstall(L"win10", gone);

        for (const std::wstring& path : c.kept) {
            EXPECT_TRUE(KeyExists(KEY_WOW64_64KEY, L"SOFTWARE\\" + path)) << testing::PrintToString(path);
        }
        RemoveLeftovers();
    }
}

// Wine reports an AMD64 processor whatever the version, but versions 5.0 and
// 5.1 are classed x86 without looking at it, and 4.0 is not classed at all.
// On a class without the x64 bits the passes do not name a view, so in this
// 64-bit tool they land in the 64-bit view.
const System kOtherSystems[] = {
    {L"nt40", false},  // class 0: the key opens with no access and enumerates nothing
    {L"winxp", true},  // x86: the 32-bit passes work on the only view, the 64-bit passes skip
};

class UninstallRegistryNotX64 : public UninstallRegistry, public testing::WithParamInterface<System> {};

INSTANTIATE_TEST_SUITE_P(On, UninstallRegistryNotX64, testing::ValuesIn(kOtherSystems));

TEST_P(UninstallRegistryNotX64, UsesItsRowsOfThePassTable) {
    const std::vector<Entry> theCards = {
        {L"card", L"C:\\drivers\\krvcard.inf"},
        {L"vendor product", L"C:\\Program Files\\Korav\\PCI_MultiIO_Driver\\uninst.exe"},
    };
    Gone gone;
    for (REGSAM view : kViews) {
        for (const Entry& e : theCards) ASSERT_TRUE(Put(view, e));
    }
    ASSERT_TRUE(Put(KEY_WOW64_64KEY, {L"other product", L"C:\\Other\\uninstall.exe"}));
    if (GetParam().cleans64) gone[KEY_WOW64_64KEY] = {L"card", L"vendor product"};
    ASSERT_TRUE(CreateKey(KEY_WOW64_64KEY, L"SOFTWARE\\Korav\\PCI_MultiIO_Driver\\Setup"));
    // The vendor's keys go whatever the class.
    ExpectOnlyDeleted(GetParam().version, gone, Changes().Gone(L"SOFTWARE\\Korav"));
}

}  // namespace
}  // namespace e2e
