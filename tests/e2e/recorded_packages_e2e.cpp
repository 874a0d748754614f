// -UninstallDriver, first step: the driver-store paths recorded in the card's
// uninstall entry are replayed through DPInst.exe (a stand-in that logs its
// command line), highest index first, and their records and the emptied entry go.
#include <gtest/gtest.h>

#include "driver_fixtures.h"
#include "harness.h"
#include "names.h"

namespace e2e {
namespace {

const std::wstring kEntry = UninstallEntryPath(mioutil::kCardUninstallEntry);

std::wstring Record(int i) { return L"DriverStorePath" + std::to_wstring(i); }

// The card's installer writes each record as 522 bytes, whatever follows the path's
// zero. The last character stays zero: RegSetValueExW adds a terminator to string data
// that lacks one when the next character in memory is zero (Windows and Wine alike).
bool SetRecord(int i, const std::wstring& path, DWORD type = REG_SZ, At at = Here()) {
    std::wstring data = path + L'\0' + L"junk after the zero";
    data.resize(260, L'J');
    data.push_back(L'\0');
    return SetValue(kNative, kEntry, Record(i), type, data.data(), 522, HKEY_LOCAL_MACHINE, at);
}

// What DPInst.exe receives once cmd.exe has stripped the outer quotes and expanded %SystemDrive%.
std::wstring Received(const std::wstring& path) {
    return L"\"" + DpinstFolder() + L"\\DPInst.exe\" /s /u " + path;
}

class RecordedPackages : public DriverRemovalTest {};

TEST_F(RecordedPackages, RecordsRunHighestIndexFirstThenRecordsAndEntryGo) {
    ASSERT_TRUE(InstallDpinst());
    const std::wstring p0 = L"C:\\Windows\\System32\\DriverStore\\FileRepository\\krvbus.inf_amd64_1a\\krvbus.inf";
    const std::wstring p1 = L"C:\\Windows\\System32\\DriverStore\\FileRepository\\krv port.inf_amd64_2b\\krv port.inf";
    const std::wstring p2 = L"C:\\Windows\\System32\\DriverStore\\FileRepository\\krvser.inf_amd64_3c\\krvser.inf";
    ASSERT_TRUE(SetRecord(0, p0));
    ASSERT_TRUE(SetRecord(1, p1));                 // blanks: passed unquoted
    ASSERT_TRUE(SetRecord(2, p2, REG_EXPAND_SZ));  // the type is not looked at

    RunResult r = RunTool(L"-UninstallDriver", Changes().Gone(kEntry));
    EXPECT_EQ(r.exitCode, 0u);  // an oem*.inf, none of the card's
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(DpinstCalls(), (std::vector<std::wstring>{Received(p2), Received(p1), Received(p0)}));
    EXPECT_FALSE(KeyExists(kNative, kEntry));
    RunAgain(L"-UninstallDriver", 0);
}

TEST_F(RecordedPackages, OnlyIndicesBelowTheNumberOfValuesAreLookedFor) {
    ASSERT_TRUE(InstallDpinst());
    // Record 0 beside another value: two values, so index 1 is looked for (absent), then 0.
    const std::wstring p0 = L"C:\\Windows\\System32\\DriverStore\\FileRepository\\krvbus.inf_amd64_1a\\krvbus.inf";
    ASSERT_TRUE(SetRecord(0, p0));
    ASSERT_TRUE(SetText(kNative, kEntry, L"DisplayName", L"KORAV Multi-I/O Card Driver"));
    RunTool(L"-UninstallDriver", Changes().ValueGone(kEntry, Record(0)));
    EXPECT_EQ(DpinstCalls(), (std::vector<std::wstring>{Received(p0)}));
    EXPECT_EQ(ValueNames(kNative, kEntry), (std::vector<std::wstring>{L"DisplayName"}));

    // Only a record of index 3 beside that value: indices 1 and 0 are looked for, nothing runs.
    ASSERT_TRUE(SetRecord(3, L"C:\\drv\\three.inf"));
    RunTool(L"-UninstallDriver");
    EXPECT_EQ(DpinstCalls().size(), 1u);
    EXPECT_TRUE(ValueExists(kNative, kEntry, Record(3)));
    EXPECT_TRUE(ValueExists(kNative, kEntry, L"DisplayName"));
}

TEST_F(RecordedPackages, PathsThatCannotBeRunSafelyAreKeptWithTheirEntry) {
    ASSERT_TRUE(InstallDpinst());
    const std::wstring pwned = L"C:\\mioutil_e2e_pwned.txt";
    DeleteFileW(pwned.c_str());
    const std::wstring fits = L"C:\\drv\\" + std::wstring(206, L'f') + L".inf";  // 217 characters: a 259-character command
    ASSERT_EQ(fits.size(), 217u);
    const std::wstring tooLong = L"C:\\drv\\" + std::wstring(207, L'g') + L".inf";
    const std::wstring special[] = {
        L"C:\\drv\\a.inf & echo x > " + pwned,
        L"C:\\drv\\a.inf | echo x > " + pwned,
        L"C:\\drv\\a.inf\" & echo x > \"" + pwned,
        L"C:\\drv\\a.inf ^& echo x",
        L"C:\\drv\\%SystemRoot%.inf",
        L"C:\\drv\\a.inf < C:\\drv\\in.txt",
        L"C:\\drv\\a\tb.inf",
    };
    ASSERT_TRUE(SetRecord(0, fits));
    ASSERT_TRUE(SetRecord(1, tooLong));
    for (int i = 0; i < 7; ++i) ASSERT_TRUE(SetRecord(2 + i, special[i]));
    // 261 characters and the zero: 524 bytes, more than the installer writes; not run, and logged.
    const std::wstring overlong = L"C:\\drv\\" + std::wstring(261 - 11, L'h') + L".inf";
    ASSERT_TRUE(SetValue(kNative, kEntry, Record(9), REG_SZ, overlong.c_str(), 524));
    // The card's installer is named by the entry's "UninstallString": the registry
    // cleanup must still keep the entry while it holds records that were not run.
    ASSERT_TRUE(SetText(kNative, kEntry, L"UninstallString", L"\"C:\\Program Files\\KORAV\\KRVInst.exe\" /uninstall"));

    RunTool(L"-UninstallDriver", Changes().ValueGone(kEntry, Record(0)));
    EXPECT_EQ(DpinstCalls(), (std::vector<std::wstring>{Received(fits)}));
    EXPECT_FALSE(Exists(pwned));
    EXPECT_FALSE(ValueExists(kNative, kEntry, Record(0)));
    for (int i = 1; i < 10; ++i) EXPECT_TRUE(ValueExists(kNative, kEntry, Record(i))) << i;
    EXPECT_TRUE(ValueExists(kNative, kEntry, L"UninstallString"));
    RunAgain(L"-UninstallDriver", 0);
    EXPECT_TRUE(RunLogHas({"DriverStorePath9: not run, the record stays: it holds 524 bytes, more than the 522"}));
    EXPECT_TRUE(RunLogHas({"DriverStorePath3: not run, the record stays: it holds a character", "a.inf | echo"}));
    EXPECT_FALSE(Exists(pwned));
    DeleteFileW(pwned.c_str());
}

TEST_F(RecordedPackages, NoCommandInterpreterOrProgramAUserCanSwapIsRun) {
    // A per-user COMSPEC reaches an elevated process, and so would a cmd.exe in the
    // current directory: each a logging copy of the stand-in, that must never run.
    ASSERT_TRUE(InstallDpinst());
    const std::wstring planted = L"C:\\mioutil_e2e_interpreter";
    RemoveTreeForce(planted);
    CreateDirectoryW(planted.c_str(), nullptr);
    for (const wchar_t* name : {L"\\cmd.exe", L"\\evil.exe"}) {
        ASSERT_TRUE(CopyTo(BinDir() + L"\\dpinst_standin.exe", planted + name));
    }
    const std::wstring p0 = L"C:\\drv\\zero.inf";
    ASSERT_TRUE(SetRecord(0, p0));
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    RunResult r;
    {
        ScopedEnv comspec(L"COMSPEC", (planted + L"\\evil.exe").c_str());
        ScopedEnv drive(L"SystemDrive", L"Q:");
        ASSERT_TRUE(SetCurrentDirectoryW(planted.c_str()));
        r = RunTool(L"-UninstallDriver", Changes().Gone(kEntry));
        SetCurrentDirectoryW(cwd);
    }
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(DpinstCalls(), (std::vector<std::wstring>{Received(p0)}));
    EXPECT_TRUE(ReadLogLines(planted + L"\\" + kDpinstLog).empty());
    EXPECT_FALSE(KeyExists(kNative, kEntry));
    RemoveTreeForce(planted);
}

TEST_F(RecordedPackages, WithoutTheCardsEntryOrAnyOemInfNothingChangesAndTheResultIs13) {
    ASSERT_TRUE(InstallDpinst());
    RemoveForeignInfs();
    RunResult r = RunTool(L"-UninstallDriver");
    ASSERT_TRUE(PlantForeignInfs());
    EXPECT_EQ(r.exitCode, mioutil::kStatusNotFound);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(DpinstCalls().empty());
    EXPECT_FALSE(KeyExists(kNative, kEntry));
}

TEST_F(RecordedPackages, RecordsGoEvenWhenDpinstIsMissing) {
    ASSERT_TRUE(SetRecord(0, L"C:\\drv\\zero.inf"));
    ASSERT_TRUE(SetRecord(1, L"C:\\drv\\one.inf"));
    RunResult r = RunTool(L"-UninstallDriver", Changes().Gone(kEntry));
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_FALSE(KeyExists(kNative, kEntry));
    RunAgain(L"-UninstallDriver", 0);
}

TEST_F(RecordedPackages, AnEntryThatStillHoldsAValueWithALongNameStays) {
    ASSERT_TRUE(InstallDpinst());
    // The name is longer than the 260-character enumeration buffer: enumerating it
    // fails with ERROR_MORE_DATA, which must not pass for an empty entry.
    const std::wstring longName = L"InstallerNote" + std::wstring(300, L'n');
    ASSERT_TRUE(SetRecord(0, L"C:\\drv\\zero.inf"));
    ASSERT_TRUE(SetText(kNative, kEntry, longName, L"kept"));
    RunTool(L"-UninstallDriver", Changes().ValueGone(kEntry, Record(0)));
    EXPECT_TRUE(KeyExists(kNative, kEntry));
    EXPECT_TRUE(ValueExists(kNative, kEntry, longName));
    RunAgain(L"-UninstallDriver", 0);
}

}  // namespace
}  // namespace e2e
