// -UninstallDriver, OEM INF steps: every oem*.inf that names one of the card's
// providers has its package uninstalled through difxapi.dll (a stand-in that logs
// each call and returns what the test chose), the results are OR-ed into the exit
// code, and the INF and its PNF twin are deleted.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "devices.h"
#include "driver_fixtures.h"
#include "harness.h"
#include "names.h"

namespace e2e {
namespace {

// Where a stand-in was loaded from: System32, or a private copy of one beside the exe.
const std::wstring kSystemDifx = SystemDir() + L"\\difxapi.dll";
const std::wstring kPrivateCopy = WindowsDir() + L"\\Temp\\mioutil.";

// The INF paths uninstalled by the stand-in loaded from a path that starts with `dll`,
// sorted (the file system decides the order); every call must have had the flags 0x22,
// no installer information and a need-reboot flag that starts FALSE.
std::vector<std::wstring> Uninstalled(const std::wstring& dll = kSystemDifx) {
    const std::wstring expected = L"\t22\t1\t0";
    std::vector<std::wstring> paths;
    for (const std::wstring& line : ReadLogLines(DifxLog())) {
        const size_t tail = line.size() >= expected.size() ? line.size() - expected.size() : 0;
        const size_t tab = line.find(L'\t');
        EXPECT_EQ(line.substr(tail), expected) << testing::PrintToString(line);
        if (tab < tail && line.compare(0, dll.size(), dll) == 0) paths.push_back(line.substr(tab + 1, tail - tab - 1));
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::vector<std::wstring> Paths(std::vector<std::wstring> names) {
    for (std::wstring& n : names) n = InfPath(n);
    std::sort(names.begin(), names.end());
    return names;
}

std::string Utf16(const std::wstring& text) {
    return std::string("\xFF\xFE", 2) + std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

const std::string kHead = "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Ports\r\n";

class OemInf : public DriverRemovalTest {};

TEST_F(OemInf, ProviderIsFoundByBytesInTheFirst65535Only) {
    // Filler without zero bytes so that the provider ends at a chosen offset.
    auto endingAt = [](size_t end, const std::string& provider) {
        return std::string(end - provider.size(), ';') + provider + "\r\n";
    };
    struct File {
        std::wstring name;
        std::string bytes;
        bool matches;
    } files[] = {
        {L"oem9101.inf", kHead + "Provider=Korav Co., Ltd.\r\n; caf\xE9 \xA9 ANSI\r\n", true},
        {L"oem9102.inf", "\xEF\xBB\xBF" + kHead + "; \xC3\x84 UTF-8\r\nProvider=KORAV Co., Ltd.\r\n", true},
        {L"oem9103.inf", kHead + "; made by KORAV GROUPWARE\r\n", true},  // in a comment, start of a longer word
        {L"oem9104.inf", Utf16(L"[Version]\r\nProvider=KORAV GROUP\r\n"), false},
        {L"oem9105.inf", kHead + "Provider=korav co., ltd.\r\nMfg=Korav Co., Ltd\r\n", false},
        {L"oem9106.inf", endingAt(65535, "KORAV GROUP"), true},  // its last byte is the 65535th
        {L"oem9107.inf", endingAt(65536, "KORAV GROUP"), false},
        {L"oem9108.inf", std::string(70000, ';') + "Provider=Korav Co., Ltd.\r\n", false},
        {L"oem9109.inf", "", false},
        {L"oem9110.inf", std::string("; \0 ", 4) + "Provider=KORAV GROUP\r\n", false},  // text ends at a zero byte
        {L"krv9111.inf", kHead + "Provider=KORAV GROUP\r\n", false},                    // not an oem*.inf
        // Found by oem*.inf only through their 8.3 aliases (OEM911~1.INF).
        {L"oem9113.inf_old", kHead + "Provider=KORAV GROUP\r\n", false},
        {L"oem9114.infx", kHead + "Provider=KORAV GROUP\r\n", false},
    };
    for (const File& f : files) ASSERT_TRUE(WriteBytes(InfPath(f.name), f.bytes));
    ASSERT_TRUE(WriteBytes(InfPath(L"oem9101.pnf"), "pnf"));
    ASSERT_TRUE(WriteBytes(InfPath(L"oem9104.pnf"), "pnf"));
    ASSERT_TRUE(CreateDirectoryW(InfPath(L"oem9112.inf").c_str(), nullptr));  // a directory never opens as a file
    Changes gone = Changes().FileGone(L"oem9101.pnf");
    for (const File& f : files) {
        if (f.matches) gone.FileGone(f.name);
    }

    RunResult r = RunTool(L"-UninstallDriver", gone);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Uninstalled(), Paths({L"oem9101.inf", L"oem9102.inf", L"oem9103.inf", L"oem9106.inf"}));
    for (const File& f : files) {
        SCOPED_TRACE(testing::PrintToString(f.name));
        EXPECT_EQ(Exists(InfPath(f.name)), !f.matches);
        if (!f.matches) {
            EXPECT_EQ(ReadBytes(InfPath(f.name)), f.bytes);
        }
    }
    EXPECT_FALSE(Exists(InfPath(L"oem9101.pnf")));
    EXPECT_TRUE(Exists(InfPath(L"oem9104.pnf")));
    EXPECT_TRUE(GetFileAttributesW(InfPath(L"oem9112.inf").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    RunAgain(L"-UninstallDriver", 0);
}

TEST_F(OemInf, ExitCodeIsTheOrOfTheUninstallResults) {
    const std::string text = kHead + "Provider=KORAV GROUP\r\n";
    // One failure among successes gives its code.
    ASSERT_TRUE(WriteBytes(InfPath(L"oem9201.inf"), text));
    ASSERT_TRUE(WriteBytes(InfPath(L"oem9202.inf"), text));
    ASSERT_TRUE(SetDifxResult(L"oem9202.inf", ERROR_ACCESS_DENIED));
    RunResult r = RunTool(L"-UninstallDriver", Changes().FileGone(L"oem9201.inf").FileGone(L"oem9202.inf"));
    EXPECT_EQ(r.exitCode, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Uninstalled(), Paths({L"oem9201.inf", L"oem9202.inf"}));
    // The run log names the refusal and the reboot DIFx asked for (the stand-in always does).
    EXPECT_TRUE(RunLogHas(
        {"DriverPackageUninstallW gave 0x00000005 (", "reboot is needed: \"", "oem9202.inf\" names \"KORAV GROUP\""}));
    EXPECT_TRUE(RunLogHas({"deleted: \"", "oem9202.inf\""}));
    EXPECT_TRUE(RunLogHas({"exit code 5 "}));

    // Two failures blend into their bitwise OR; the files still go.
    RemoveFileForce(DifxLog());
    ASSERT_TRUE(WriteBytes(InfPath(L"oem9203.inf"), text));
    ASSERT_TRUE(WriteBytes(InfPath(L"oem9204.inf"), text));
    ASSERT_TRUE(WriteBytes(InfPath(L"oem9205.inf"), text));
    ASSERT_TRUE(SetDifxResult(L"oem9203.inf", 0x0E000100));
    ASSERT_TRUE(SetDifxResult(L"oem9205.inf", 0x00000012));
    r = RunTool(L"-UninstallDriver",
                Changes().FileGone(L"oem9203.inf").FileGone(L"oem9204.inf").FileGone(L"oem9205.inf"));
    EXPECT_EQ(r.exitCode, 0x0E000112u);
    EXPECT_EQ(Uninstalled(), Paths({L"oem9203.inf", L"oem9204.inf", L"oem9205.inf"}));
    for (const wchar_t* name : {L"oem9201.inf", L"oem9202.inf", L"oem9203.inf", L"oem9204.inf", L"oem9205.inf"}) {
        EXPECT_FALSE(Exists(InfPath(name))) << testing::PrintToString(std::wstring(name));
    }
    RunAgain(L"-UninstallDriver", 0);
}

TEST_F(OemInf, MatchingInfsGoWithTheirPnfTwinsAReadOnlyOneStays) {
    const std::string text = kHead + "Provider=Korav Co., Ltd.\r\n";
    ASSERT_TRUE(WriteBytes(InfPath(L"oem9301.inf"), text));
    ASSERT_TRUE(WriteBytes(InfPath(L"oem9301.pnf"), "pnf"));
    ASSERT_TRUE(WriteBytes(InfPath(L"oem9302.inf"), text));  // no twin
    ASSERT_TRUE(WriteBytes(InfPath(L"oem9303.inf"), text));
    ASSERT_TRUE(WriteBytes(InfPath(L"oem9303.pnf"), "pnf"));
    ASSERT_TRUE(SetFileAttributesW(InfPath(L"oem9303.inf").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteBytes(InfPath(L"oem9304.pnf"), text));  // a PNF whose INF is gone is never looked at
    ASSERT_TRUE(WriteBytes(InfPath(L"oem9305.inf"), kHead + "Provider=Someone Else\r\n"));
    ASSERT_TRUE(WriteBytes(InfPath(L"oem9305.pnf"), "pnf"));

    RunResult r = RunTool(L"-UninstallDriver", Changes()
                                                   .FileGone(L"oem9301.inf")
                                                   .FileGone(L"oem9301.pnf")
                                                   .FileGone(L"oem9302.inf")
                                                   .FileGone(L"oem9303.pnf"));
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(Uninstalled(), Paths({L"oem9301.inf", L"oem9302.inf", L"oem9303.inf"}));
    EXPECT_FALSE(Exists(InfPath(L"oem9301.inf")));
    EXPECT_FALSE(Exists(InfPath(L"oem9301.pnf")));
    EXPECT_FALSE(Exists(InfPath(L"oem9302.inf")));
    EXPECT_EQ(ReadBytes(InfPath(L"oem9303.inf")), text);  // read-only: its deletion fails...
    EXPECT_FALSE(Exists(InfPath(L"oem9303.pnf")));        // ...and its twin goes all the same
    EXPECT_TRUE(Exists(InfPath(L"oem9304.pnf")));
    EXPECT_TRUE(Exists(InfPath(L"oem9305.inf")));
    EXPECT_TRUE(Exists(InfPath(L"oem9305.pnf")));
    RunAgain(L"-UninstallDriver", 0);  // the read-only INF is uninstalled again, and stays
}

TEST_F(OemInf, APathThatDoesNotFitIsNeverCutShortIntoAnother) {
    const std::string text = kHead + "Provider=KORAV GROUP\r\n";
    const size_t room = 259 - (InfFolder().size() + 1);  // characters left for a name in a 260-character path
    const std::wstring fits = L"oem" + std::wstring(room - 7, L'b') + L".inf";
    const std::wstring tooLong = L"oem" + std::wstring(room - 3, L'a') + L".inf";
    const std::wstring cutShort = tooLong.substr(0, room);  // what a cut-short path would name
    ASSERT_EQ(fits.size(), room);
    ASSERT_TRUE(WriteBytes(InfPath(fits), text));
    ASSERT_TRUE(WriteBytes(InfPath(tooLong), text));
    ASSERT_TRUE(WriteBytes(InfPath(tooLong.substr(0, tooLong.size() - 4) + L".pnf"), "pnf"));
    ASSERT_TRUE(WriteBytes(InfPath(cutShort), text));

    RunResult r = RunTool(L"-UninstallDriver", Changes().FileGone(fits));
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(Uninstalled(), Paths({fits}));
    EXPECT_FALSE(Exists(InfPath(fits)));
    EXPECT_TRUE(Exists(InfPath(tooLong)));
    EXPECT_TRUE(Exists(InfPath(tooLong.substr(0, tooLong.size() - 4) + L".pnf")));
    EXPECT_EQ(ReadBytes(InfPath(cutShort)), text);
    RunAgain(L"-UninstallDriver", 0);
}

// Moves System32\difxapi.dll (the stand-in) aside while it lives, as on a Windows without one.
class HideSystemDll {
public:
    HideSystemDll() : dll_(SystemDir() + L"\\difxapi.dll"), aside_(dll_ + L".mioutil-e2e") {
        if (GetFileAttributesW(aside_.c_str()) == INVALID_FILE_ATTRIBUTES) {
            EXPECT_TRUE(MoveFileW(dll_.c_str(), aside_.c_str())) << GetLastError();
        }
    }
    ~HideSystemDll() { MoveFileW(aside_.c_str(), dll_.c_str()); }

private:
    std::wstring dll_, aside_;
};

// difxapi.dll is not imported: the exe starts where it is missing. It is taken from
// System32, or from the exe's own folder where System32 has none and Microsoft
// signed that copy (under Wine a self-signed certificate passes), checked and loaded
// from a private copy; never from the current directory or PATH. No DLL planted
// beside the exe or in the current directory is ever loaded, whatever the switch,
// neither as difxapi.dll nor as one of its imports.
class DllLoading : public DriverRemovalTest {
protected:
    void SetUp() override {
        DriverRemovalTest::SetUp();
        RemoveTreeForce(root_);
        RemoveFileForce(kPlantedLog);
        CreateDirectoryW(root_.c_str(), nullptr);
        CreateDirectoryW(alone_.c_str(), nullptr);
        CreateDirectoryW(planted_.c_str(), nullptr);
        ASSERT_TRUE(CopyTo(BinDir() + L"\\mioutil.exe", alone_ + L"\\mioutil.exe"));
        ASSERT_TRUE(CopyTo(BinDir() + L"\\difxapi.dll", planted_ + L"\\difxapi.dll"));
    }
    void TearDown() override {
        RemoveTreeForce(root_);
        RemoveFileForce(kPlantedLog);
        DriverRemovalTest::TearDown();
    }
    RunResult RunAlone(const std::wstring& args, const Changes& changes = Changes(),
                       const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
        return RunGuarded(L"\"" + alone_ + L"\\mioutil.exe\"" + (args.empty() ? L"" : L" " + args), changes, file,
                          line);
    }
    static Changes MatchingInfsGo() {
        return Changes().FileGone(L"oem9401.inf").FileGone(L"oem9401.pnf").FileGone(L"oem9402.inf");
    }
    // The stand-in signed at build time by a throwaway certificate of that publisher.
    static std::wstring Signed(const wchar_t* signer, const wchar_t* standin) {
        return BinDir() + L"\\signed\\" + signer + L"_difxapi_" + standin + L".dll";
    }
    // A folder in place of `folder`, holding the planted difxapi.dll and the DLL it imports.
    static bool Plant(const std::wstring& folder) {
        return CreateDirectoryW(folder.c_str(), nullptr) &&
               CopyFileW((BinDir() + L"\\planted\\difxapi.dll").c_str(), (folder + L"\\difxapi.dll").c_str(), TRUE) &&
               CopyFileW((BinDir() + L"\\planted\\mioutil_e2e_difxdep.dll").c_str(),
                         (folder + L"\\mioutil_e2e_difxdep.dll").c_str(), TRUE);
    }
    static bool WriteMatchingInfs(At at = Here()) {
        return WriteBytes(InfPath(L"oem9401.inf"), kHead + "Provider=KORAV GROUP\r\n", at) &&
               WriteBytes(InfPath(L"oem9401.pnf"), "pnf", at) &&
               WriteBytes(InfPath(L"oem9402.inf"), kHead + "Provider=KORAV Co., Ltd.\r\n", at);
    }

    const std::wstring root_ = L"C:\\mioutil_e2e_difx";
    const std::wstring alone_ = root_ + L"\\alone";
    const std::wstring planted_ = root_ + L"\\planted";
};

TEST_F(DllLoading, WithoutTheDllTheExeStillRunsEachUninstallFailsAndTheInfsStay) {
    // None in System32 nor beside the exe: the one planted in the current directory
    // and on PATH is never taken. A package DIFx could not be handed keeps its INF
    // and PNF (nothing changes), the only trace left of it in the driver store.
    HideSystemDll hidden;
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    wchar_t path[32768] = {};
    GetEnvironmentVariableW(L"PATH", path, 32768);
    ScopedEnv plantedPath(L"PATH", (planted_ + L";" + path).c_str());
    ASSERT_TRUE(WriteMatchingInfs());
    ASSERT_TRUE(SetCurrentDirectoryW(planted_.c_str()));
    const RunResult remap = RunAlone(L"");
    const RunResult uninstall = RunAlone(L"-UninstallDriver");
    const RunResult again = RunAlone(L"-UninstallDriver");
    SetCurrentDirectoryW(cwd);
    EXPECT_EQ(remap.exitCode, 0u);
    EXPECT_EQ(uninstall.exitCode, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(again.exitCode, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(ReadLogLines(DifxLog()), std::vector<std::wstring>{});
}

TEST_F(DllLoading, System32FirstTheExesFolderOnlyWhereSystem32HasNoneAndMicrosoftSignedIt) {
    // A copy without DriverPackageUninstallW beside the exe is passed over while System32
    // has one; System32's (the unsigned stand-in) is loaded without a signature check.
    const std::wstring beside = alone_ + L"\\difxapi.dll";
    ASSERT_TRUE(CopyTo(BinDir() + L"\\noexport\\difxapi.dll", beside));
    ASSERT_TRUE(WriteMatchingInfs());
    ASSERT_TRUE(SetDifxResult(L"oem9402.inf", ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(RunAlone(L"-UninstallDriver", MatchingInfsGo()).exitCode, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Uninstalled(), Paths({L"oem9401.inf", L"oem9402.inf"}));

    HideSystemDll hidden;
    ASSERT_TRUE(WriteMatchingInfs());
    ASSERT_TRUE(CopyTo(Signed(L"microsoft", L"noexport"), beside));
    EXPECT_EQ(RunAlone(L"-UninstallDriver").exitCode, static_cast<DWORD>(ERROR_PROC_NOT_FOUND));  // nothing goes

    // Refused, never called: the packages fare as without DIFx, and the log says why.
    const struct {
        std::wstring dll;
        bool altered;  // one byte changed after signing
        const char* why;
    } refused[] = {
        {BinDir() + L"\\difxapi.dll", false, "refused, no valid signature, 0x800B0100"},
        {Signed(L"contoso", L"standin"), false, "refused, signed but not by Microsoft"},
        {Signed(L"microsoft", L"standin"), true, "refused, no valid signature, 0x80096010"},
    };
    for (const auto& dll : refused) {
        SCOPED_TRACE(dll.why);
        ASSERT_TRUE(CopyTo(dll.dll, beside));
        std::string bytes = ReadBytes(beside);
        if (dll.altered) bytes[0x500] ^= 1;
        ASSERT_TRUE(WriteBytes(beside, bytes));
        EXPECT_EQ(RunAlone(L"-UninstallDriver").exitCode, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
        EXPECT_TRUE(RunLogHas({dll.why, ": \"C:\\mioutil_e2e_difx\\alone\\difxapi.dll\""}));
        EXPECT_TRUE(Uninstalled(kPrivateCopy).empty() && Uninstalled(alone_).empty());
    }

    ASSERT_TRUE(CopyTo(Signed(L"microsoft", L"standin"), beside));
    EXPECT_EQ(RunAlone(L"-UninstallDriver", MatchingInfsGo()).exitCode, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(RunLogHas({"taken, signed by Microsoft: \"C:\\mioutil_e2e_difx\\alone\\difxapi.dll\", loaded from "
                           "its private copy \"C:\\windows\\Temp\\mioutil."}));
    EXPECT_EQ(Uninstalled(kPrivateCopy), Paths({L"oem9401.inf", L"oem9402.inf"}));
    const std::vector<std::string> section = LastRunLogSection();  // checked and loaded once for both INF steps
    EXPECT_EQ(std::count_if(section.begin(), section.end(),
                            [](const std::string& l) { return l.rfind("difxapi.dll beside the exe", 0) == 0; }),
              1);
    EXPECT_EQ(RunAlone(L"-UninstallDriver").exitCode, 0u);
}

TEST_F(DllLoading, DllsPlantedBesideTheExeOrInTheCurrentDirectoryAreNeverLoaded) {
    WineDllOverrideFor msports(L"mioutil.exe", L"msports", L"native");
    RemoveNodes(mioutil::kBusEnumerator);
    ASSERT_TRUE(RegisterTestClass(BinDir()));
    ASSERT_TRUE(CreateNodes({{PortId(0), L"COM3", LocationText(1)}}));
    for (const std::wstring& folder : {alone_, planted_}) {
        for (const wchar_t* dll :
             {L"msports.dll", L"difxapi.dll", L"e2e_classinst.dll", L"mioutil_e2e_coinstaller.dll",
              L"mioutil_e2e_difxdep.dll"}) {
            ASSERT_TRUE(CopyTo(BinDir() + L"\\planted\\" + dll, folder + L"\\" + dll));
        }
    }
    ASSERT_TRUE(WriteMatchingInfs());
    ClearRecordedRestarts();
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    ASSERT_TRUE(SetCurrentDirectoryW(planted_.c_str()));
    std::vector<DWORD> exits;
    exits.push_back(RunAlone(L"", Changes().ValueSet(L"SYSTEM\\CurrentControlSet\\Enum\\" + PortId(0), L"FriendlyName"))
                        .exitCode);
    for (const wchar_t* args : {L"-RemoveCOMdb", L"-ScanHardware"}) exits.push_back(RunAlone(args).exitCode);
    exits.push_back(RunAlone(L"-UninstallDriver", MatchingInfsGo()).exitCode);
    exits.push_back(RunAlone(L"-Bogus").exitCode);
    // The system's own (here the stand-ins in System32) did the work.
    EXPECT_EQ(RecordedRestarts(), std::vector<std::wstring>{PortId(0)});
    EXPECT_EQ(Uninstalled(), Paths({L"oem9401.inf", L"oem9402.inf"}));

    // Where System32 has none, the one Microsoft signed beside the exe is taken: its
    // private copy, whose import comes from System32 though one is planted beside the
    // exe. Meanwhile, as soon as the copy is there, its folder and the exe's are swapped
    // for ones with the planted DLLs (should that come late, the copy's first call waits
    // for it): the exe's folder is not looked at again, the private one's rename is refused.
    HideSystemDll hidden;
    ASSERT_TRUE(CopyTo(Signed(L"microsoft", L"standin"), alone_ + L"\\difxapi.dll"));
    ASSERT_TRUE(WriteMatchingInfs());
    bool seen = false, exeFolderSwapped = false;
    DWORD renameError = 0;
    const UniqueKernelHandle hold(CreateEventW(nullptr, TRUE, FALSE, kDifxHoldEvent));
    std::thread swap([&] {
        const std::wstring temp = WindowsDir() + L"\\Temp\\";
        for (ULONGLONG end = GetTickCount64() + 10000; !seen && GetTickCount64() < end; Sleep(1)) {
            WIN32_FIND_DATAW found = {};
            const UniqueFind find(FindFirstFileW((temp + L"mioutil.*").c_str(), &found));
            for (bool more = find.valid(); more && !seen; more = FindNextFileW(find.get(), &found)) {
                const std::wstring folder = temp + found.cFileName;
                seen = Exists(folder + L"\\difxapi.dll");
                if (!seen) continue;
                const bool renamed = MoveFileW(folder.c_str(), (folder + L"-swapped").c_str()) && Plant(folder);
                renameError = renamed ? 0 : GetLastError();
                exeFolderSwapped = MoveFileW(alone_.c_str(), (alone_ + L"-swapped").c_str()) && Plant(alone_);
            }
        }
        SetEvent(hold.get());
    });
    exits.push_back(RunAlone(L"-UninstallDriver", MatchingInfsGo()).exitCode);
    swap.join();
    SetCurrentDirectoryW(cwd);
    EXPECT_TRUE(seen && exeFolderSwapped);
    EXPECT_EQ(renameError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(Uninstalled(kPrivateCopy), Paths({L"oem9401.inf", L"oem9402.inf"}));
    EXPECT_EQ(exits, (std::vector<DWORD>{0, 0, 0, 0, mioutil::kExitInvalidCommandLine, 0}));
    EXPECT_EQ(ReadLogLines(kPlantedLog), std::vector<std::wstring>{});
    RemoveNodes(mioutil::kBusEnumerator);
    ClearRecordedRestarts();
    UnregisterTestClass();
}

}  // namespace
}  // namespace e2e
