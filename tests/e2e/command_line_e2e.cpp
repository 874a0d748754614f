// The command line as the tool sees it from a real process start: exit codes
// and the exact bytes of the one message.
#include <gtest/gtest.h>

#include <algorithm>

#include "driver_fixtures.h"
#include "harness.h"
#include "names.h"

namespace {

// Text-mode standard output turns the leading line feed into CR LF; nothing follows the text.
const std::string kMessageBytes = "\r\n Invalid command line option.";

TEST(CommandLine, NoArgumentWithoutACardPrintsNothingAndExitsZero) {
    e2e::RunResult r = e2e::RunTool(L"");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, "");
}

TEST(CommandLine, RejectedCommandLinesPrintTheMessageAndExitTen) {
    const wchar_t* rejected[] = {
        L"-removecomdb",    L"-REMOVEDEVICENODE", L"/RemoveCOMdb",       L"--RemoveCOMdb",
        L"-RemoveCOMdbX",   L"-ScanHardwar",      L"\"\"",               L"\" -ScanHardware\"",
        L"-ScanHardware x", L"-ScanHardware -ScanHardware",              L"-UninstallDriver -RemoveCOMdb",
        L"-Uninstall%Driver",
    };
    for (const wchar_t* args : rejected) {
        e2e::RunResult r = e2e::RunTool(args);
        EXPECT_EQ(r.exitCode, mioutil::kExitInvalidCommandLine) << testing::PrintToString(std::wstring(args));
        EXPECT_EQ(r.out, kMessageBytes) << testing::PrintToString(std::wstring(args));
    }
    // The run log's section of the last one: head, the one line, exit code.
    EXPECT_TRUE(e2e::RunLogHas({"command line: \"\"\"", "mioutil.exe\"\" -Uninstall%Driver\""}));
    EXPECT_TRUE(e2e::RunLogHas({"platform class 0x"}));
    EXPECT_TRUE(e2e::RunLogHas({"command line not accepted: nothing done"}));
    EXPECT_EQ(e2e::LastRunLogSection().back(), "exit code 10 (0x0000000A)");
}

TEST(CommandLine, TheRunLogRotatesPastOneMebibyteAndALockedOneChangesNothing) {
    const std::wstring log = e2e::RunLogPath();
    const std::wstring old = log + L".old";
    const std::string full = "\xEF\xBB\xBF" + std::string(1024 * 1024 - 3, 'x') + "\r\n";  // 1 MiB and 2 bytes
    e2e::UniqueFile file(CreateFileW(log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.valid());
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), full.data(), static_cast<DWORD>(full.size()), &written, nullptr));
    // Locked by another process: the tool does what it always does, and writes nothing.
    e2e::RunResult locked = e2e::RunTool(L"-Bogus");
    file.reset();
    EXPECT_EQ(locked.exitCode, mioutil::kExitInvalidCommandLine);
    EXPECT_EQ(locked.out, kMessageBytes);
    EXPECT_EQ(e2e::ReadBytes(log), full);

    e2e::RunResult rotated = e2e::RunTool(L"-Bogus");
    EXPECT_EQ(rotated.exitCode, mioutil::kExitInvalidCommandLine);
    EXPECT_EQ(e2e::ReadBytes(old), full);
    const std::string fresh = e2e::ReadBytes(log);
    EXPECT_EQ(fresh.compare(0, 8, "\xEF\xBB\xBF==== "), 0);
    EXPECT_EQ(fresh.find("==== ", 8), std::string::npos);  // one section only
    DeleteFileW(old.c_str());

    // The old name taken by a folder: the rotation fails, the section says so and is added all the same.
    ASSERT_TRUE(CreateDirectoryW(old.c_str(), nullptr));
    file.reset(CreateFileW(log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.valid());
    ASSERT_TRUE(WriteFile(file.get(), full.data(), static_cast<DWORD>(full.size()), &written, nullptr));
    file.reset();
    EXPECT_EQ(e2e::RunTool(L"-Bogus").exitCode, mioutil::kExitInvalidCommandLine);
    RemoveDirectoryW(old.c_str());
    EXPECT_EQ(e2e::ReadBytes(log).compare(0, full.size(), full), 0);
    EXPECT_TRUE(e2e::RunLogHas({"log not rotated, error ", "added to it all the same", "mioutil.log.old\""}));
    EXPECT_EQ(e2e::LastRunLogSection().back(), "exit code 10 (0x0000000A)");
    DeleteFileW(log.c_str());
}

// Any process may create the name the run lock once had and hold it; no run waits for it.
TEST(CommandLine, ASquatterOnTheOldMutexStopsNoRun) {
    const e2e::UniqueKernelHandle squatter(CreateMutexW(nullptr, TRUE, L"Global\\mioutil.run"));
    ASSERT_TRUE(squatter.valid());
    EXPECT_EQ(e2e::RunTool(L"").exitCode, 0u);
    EXPECT_EQ(e2e::RunTool(L"-Bogus").out, kMessageBytes);
}

// Whether only Administrators and SYSTEM are granted anything. Wine keeps no DACL as
// given: it reports one made from the file's Unix mode, granting its owner and SYSTEM,
// and Everyone too where the file was made with the default security.
bool GrantsOnlyAdministratorsAndSystem(const std::wstring& path) {
    alignas(8) BYTE descriptor[4096];
    DWORD size = 0;
    BOOL present = FALSE, defaulted = FALSE;
    ACL* dacl = nullptr;
    PSID owner = nullptr;
    if (!GetFileSecurityW(path.c_str(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, descriptor,
                          sizeof(descriptor), &size) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || dacl == nullptr ||
        !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted)) {
        return false;
    }
    BYTE system[SECURITY_MAX_SID_SIZE], admins[SECURITY_MAX_SID_SIZE];
    DWORD systemSize = sizeof(system), adminsSize = sizeof(admins);
    CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize);
    CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &adminsSize);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
        PSID sid = &ace->SidStart;
        const bool wineOwner = e2e::RunningUnderWine() && EqualSid(sid, owner);
        if (!EqualSid(sid, system) && !EqualSid(sid, admins) && !wineOwner) return false;
    }
    return true;
}

class RunLockHeld : public e2e::DriverRemovalTest {};

// -UninstallDriver holds the lock while DPInst.exe runs; the stand-in waits for the test.
TEST_F(RunLockHeld, ARejectedCommandLineStillEndsAtOnceAndNoOneElseCanOpenTheLock) {
    const std::wstring entry = e2e::UninstallEntryPath(mioutil::kCardUninstallEntry);
    ASSERT_TRUE(e2e::InstallDpinst());
    ASSERT_TRUE(e2e::SetText(e2e::kNative, entry, L"DriverStorePath0", L"C:\\drv\\zero.inf"));
    const e2e::UniqueKernelHandle hold(CreateEventW(nullptr, TRUE, FALSE, e2e::kDpinstHoldEvent));
    std::wstring line = L"\"" + e2e::BinDir() + L"\\mioutil.exe\" -UninstallDriver";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    const e2e::Collateral before;
    ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    const e2e::UniqueKernelHandle run(pi.hProcess), thread(pi.hThread);
    for (int waited = 0; e2e::DpinstCalls().empty() && waited < 1200; ++waited) Sleep(50);
    ASSERT_EQ(e2e::DpinstCalls().size(), 1u);

    const std::wstring lock = e2e::WindowsDir() + L"\\" + mioutil::kRunLockFile;
    const e2e::UniqueFile other(CreateFileW(lock.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
    const DWORD error = GetLastError();
    EXPECT_FALSE(other.valid());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(GrantsOnlyAdministratorsAndSystem(lock));
    const e2e::RunResult bogus = e2e::RunTool(L"-Bogus");
    EXPECT_EQ(bogus.exitCode, mioutil::kExitInvalidCommandLine);
    EXPECT_EQ(bogus.out, kMessageBytes);
    EXPECT_EQ(WaitForSingleObject(run.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "-Bogus waited for the run";

    SetEvent(hold.get());
    EXPECT_EQ(WaitForSingleObject(run.get(), 60000), static_cast<DWORD>(WAIT_OBJECT_0));
    before.Expect(e2e::Changes().Gone(entry), __FILE__, __LINE__);
    // The rejected run's section went whole into the other's, which goes on after it.
    const std::string log = e2e::ReadBytes(e2e::RunLogPath());
    const size_t end = log.rfind("exit code 10 (0x0000000A)\r\n");
    const size_t head = log.rfind("==== ", end);
    ASSERT_NE(end, std::string::npos);
    EXPECT_NE(log.find("DriverStorePath0: DPInst.exe ended", end), std::string::npos);
    EXPECT_NE(log.find("-Bogus\"\r\nWindows ", head), std::string::npos);
    EXPECT_NE(log.find("\r\ncommand line not accepted: nothing done", head), std::string::npos);
    EXPECT_EQ(std::count(log.begin() + head, log.begin() + end, '\n'), 5);
}

TEST(CommandLine, ASwitchInDoubleQuotesIsAccepted) {
    // -ScanHardware only restarts display nodes: safe to run here, and prints nothing.
    e2e::RunResult r = e2e::RunTool(L"\"-ScanHardware\"");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, "");
}

}  // namespace
