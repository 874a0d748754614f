// -Status, its packages part: what -UninstallDriver would remove, read from a machine
// with one item of each kind, and the run that follows removes just that.
#include <gtest/gtest.h>

#include <algorithm>

#include "driver_fixtures.h"
#include "harness.h"
#include "names.h"

namespace e2e {
namespace {

const std::wstring kCardEntry = UninstallEntryPath(mioutil::kCardUninstallEntry);
const std::wstring kEntries = std::wstring(mioutil::kUninstallKeyPath) + L"\\mioutil-e2e status ";
const std::wstring kEntries32 = L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\mioutil-e2e status ";

class DriverStatus : public DriverRemovalTest {
protected:
    void SetUp() override {
        DriverRemovalTest::SetUp();
        Clean();
    }
    void TearDown() override {
        Clean();
        DriverRemovalTest::TearDown();
    }
    static void Clean() {
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            for (const wchar_t* name : {L"card", L"nested"}) DeleteTree(view, kEntries + name);
        }
        DeleteTree(KEY_WOW64_64KEY, L"SOFTWARE\\Korav");  // the 32-bit view's is a foreign thing
    }
};

// The report's lines of one kind, sorted (the registry and the file system give the order).
std::vector<std::string> LinesOf(const std::string& out, std::initializer_list<const char*> starts) {
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = out.find("\r\n", at)) != std::string::npos; at = end + 2) {
        const std::string line = out.substr(at, end - at);
        for (const char* start : starts) {
            if (line.rfind(start, 0) == 0) lines.push_back(line);
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST_F(DriverStatus, ListsWhatUninstallDriverWouldRemoveAndChangesNothing) {
    ASSERT_TRUE(InstallDpinst());
    ASSERT_TRUE(SetText(kNative, kCardEntry, L"DriverStorePath0", L"C:\\drv\\zero.inf"));
    ASSERT_TRUE(SetText(kNative, kCardEntry, L"DriverStorePath1", L"C:\\drv\\a.inf & echo x"));
    ASSERT_TRUE(SetText(kNative, kCardEntry, L"UninstallString", L"\"C:\\KORAV\\KRVInst.exe\" /uninstall"));
    ASSERT_TRUE(WriteBytes(InfPath(L"oem9501.inf"), "[Version]\r\nProvider=KORAV GROUP\r\n"));
    ASSERT_TRUE(WriteBytes(InfPath(L"oem9502.inf"), "[Version]\r\nProvider=Someone Else\r\n"));
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        ASSERT_TRUE(SetText(view, kEntries + L"card", L"UninstallString", L"C:\\drivers\\krvcard.inf"));
    }
    ASSERT_TRUE(SetText(KEY_WOW64_64KEY, kEntries + L"nested\\Components", L"Part", L"krvport.sys"));
    ASSERT_TRUE(SetText(KEY_WOW64_64KEY, kEntries + L"nested", L"UninstallString", L"C:\\drivers\\krvport.inf"));
    ASSERT_TRUE(CreateKey(KEY_WOW64_64KEY, L"SOFTWARE\\Korav\\PCI_MultiIO_Driver\\Setup"));
    ASSERT_TRUE(CreateKey(KEY_WOW64_64KEY, L"SOFTWARE\\Korav\\Other Product"));
    ASSERT_EQ(RunTool(L"-Bogus").exitCode, mioutil::kExitInvalidCommandLine);  // a log to keep
    const std::string log = ReadBytes(RunLogPath());
    ASSERT_FALSE(log.empty());

    const RunResult r = RunTool(L"-Status");  // the guard: nothing at all changes
    EXPECT_EQ(r.exitCode, mioutil::kStatusNothingToDo);  // packages do not count
    EXPECT_EQ(ReadBytes(RunLogPath()), log);
    EXPECT_TRUE(DpinstCalls().empty());
    EXPECT_TRUE(ReadLogLines(DifxLog()).empty());
    const std::string program = Narrow(DpinstFolder()) + "\\DPInst.exe";
    const std::string inf = Narrow(InfFolder());
    EXPECT_EQ(LinesOf(r.out, {"packages:", "record", "oem INF: would", "uninstall entry: would", "vendor key"}),
              (std::vector<std::string>{
                  "oem INF: would be uninstalled and deleted with its .pnf: \"" + inf + "\\oem9501.inf\" names "
                  "\"KORAV GROUP\"",
                  "packages: what -UninstallDriver would remove",
                  "record DriverStorePath0: DPInst.exe /s /u would be run, the record goes: program \"" + program +
                      "\", path \"C:\\drv\\zero.inf\"",
                  "record DriverStorePath1: would not be run, the record stays: it holds a character a command "
                  "interpreter acts on: \"C:\\drv\\a.inf & echo x\"",
                  "record: would be kept, it would still hold values: uninstall entry \"KORAV Multi-I/O Card Driver\"",
                  "uninstall entry: would be deleted: 32-bit view \"mioutil-e2e status card\" (UninstallString holds "
                  "\"krvcard\")",
                  "uninstall entry: would be deleted: 64-bit view \"mioutil-e2e status card\" (UninstallString holds "
                  "\"krvcard\")",
                  "uninstall entry: would be kept, it holds a driver-store record that would not be run: 64-bit view "
                  "\"KORAV Multi-I/O Card Driver\" (UninstallString holds \"KRVInst.exe\")",
                  "uninstall entry: would not be deleted (a key with subkeys of its own is refused): 64-bit view "
                  "\"mioutil-e2e status nested\" (UninstallString holds \"krvport\")",
                  "vendor key HKLM\\SOFTWARE\\Korav: there, would be kept: it holds a key that is not the card's",
                  "vendor key HKLM\\SOFTWARE\\Korav\\PCI_MultiIO_Driver: there, would be deleted",
                  "vendor key HKLM\\SOFTWARE\\Korav\\PCI_MultiIO_Driver\\Setup: there, would be deleted",
              }));
    const std::vector<std::string> counts = LinesOf(r.out, {"oem INF: ", "uninstall entry: "});
    const auto counted = [&](const char* piece) {
        return std::count_if(counts.begin(), counts.end(), [&](const std::string& l) { return l.find(piece) != l.npos; });
    };
    EXPECT_EQ(counted(" oem*.inf examined, 1 name the card's provider, in \""), 1) << r.out;
    EXPECT_EQ(counted(" view: "), 2) << r.out;
    EXPECT_EQ(counted(" examined, 1 of the card's would be deleted"), 2) << r.out;

    // The run it tells of removes exactly that.
    RunTool(L"-UninstallDriver", Changes()
                                     .ValueGone(kCardEntry, L"DriverStorePath0")
                                     .FileGone(L"oem9501.inf")
                                     .Gone(kEntries + L"card")
                                     .Gone(kEntries32 + L"card")
                                     .Gone(L"SOFTWARE\\Korav\\PCI_MultiIO_Driver"));
    EXPECT_EQ(DpinstCalls().size(), 1u);
}

}  // namespace
}  // namespace e2e
