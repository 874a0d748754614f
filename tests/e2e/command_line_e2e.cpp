// The command line as the tool sees it from a real process start: exit codes
// and the exact bytes of the one message.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <algorithm>

#include "driver_fixtures.h"
#include "harness.h"
#include "names.h"
#include "platform/admins_only.h"

namespace {

// Text-mode standard output turns the leading line feed into CR LF; nothing follows the text.
const std::string kMessageBytes = "\r\n Invalid command line option.";

// Any process may create and hold the name the run lock once had; no run waits for it.
const wchar_t* const kOldRunMutex = L"Global\\mioutil.run";

TEST(CommandLine, NoArgumentWithoutACardPrintsNothingAndExitsZero) {
    const e2e::UniqueKernelHandle squatter(CreateMutexW(nullptr, TRUE, kOldRunMutex));
    ASSERT_TRUE(squatter.valid());
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
    const e2e::UniqueKernelHandle squatter(CreateMutexW(nullptr, TRUE, kOldRunMutex));
    ASSERT_TRUE(squatter.valid());
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

// A security descriptor as SDDL, by the system's own reading of it.
std::wstring Sddl(PSECURITY_DESCRIPTOR descriptor) {
    LPWSTR sddl = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &sddl, nullptr)) {
        return L"unreadable";
    }
    const std::wstring text = sddl;
    LocalFree(sddl);
    return text;
}

class RunLockHeld : public e2e::DriverRemovalTest {};

// An -UninstallDriver run holds the lock while the difxapi.dll stand-in waits for the test.
TEST_F(RunLockHeld, ARejectedCommandLineStillEndsAtOnceAndNoOneElseCanOpenTheLock) {
    ASSERT_TRUE(e2e::WriteBytes(e2e::InfPath(L"oem9501.inf"), "[Version]\r\nProvider=KORAV GROUP\r\n"));
    const e2e::UniqueKernelHandle hold(CreateEventW(nullptr, TRUE, FALSE, e2e::kDifxHoldEvent));
    std::wstring line = L"\"" + e2e::BinDir() + L"\\mioutil.exe\" -UninstallDriver";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    const e2e::Collateral before;
    ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    const e2e::UniqueKernelHandle run(pi.hProcess), thread(pi.hThread);
    for (int waited = 0; e2e::ReadLogLines(e2e::DifxLog()).empty() && waited < 1200; ++waited) Sleep(50);

    const std::wstring lock = e2e::WindowsDir() + L"\\" + mioutil::kRunLockFile;
    const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const e2e::UniqueFile other(CreateFileW(lock.c_str(), GENERIC_READ, shareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(other.valid() ? 0 : GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    // The lock's descriptor (and, inheritable, the private folders'). Wine keeps no DACL as
    // given: it reports one made from the file's Unix mode, for its owner and SYSTEM, and
    // Everyone ("WD") where it was made with the default security.
    mioutil::AdminsOnlyDescriptor descriptor;
    for (const bool inheritable : {true, false}) {
        mioutil::BuildAdminsOnlyDescriptor(inheritable, descriptor);
        EXPECT_EQ(Sddl(descriptor.bytes), inheritable ? L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"
                                                      : L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)");
    }
    alignas(8) BYTE held[4096];
    DWORD size = 0;
    ASSERT_TRUE(GetFileSecurityW(lock.c_str(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, held,
                                 sizeof(held), &size));
    EXPECT_EQ(Sddl(held).find(L";;;WD)"), std::wstring::npos) << Sddl(held);
    if (!e2e::RunningUnderWine()) {
        EXPECT_EQ(Sddl(held), Sddl(descriptor.bytes));
    }
    const e2e::RunResult bogus = e2e::RunTool(L"-Bogus");
    EXPECT_EQ(bogus.exitCode, mioutil::kExitInvalidCommandLine);
    EXPECT_EQ(bogus.out, kMessageBytes);
    EXPECT_EQ(WaitForSingleObject(run.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "-Bogus waited for the run";

    SetEvent(hold.get());
    EXPECT_EQ(WaitForSingleObject(run.get(), 60000), static_cast<DWORD>(WAIT_OBJECT_0));
    before.Expect(e2e::Changes().FileGone(L"oem9501.inf"), __FILE__, __LINE__);
    // The rejected run's section went whole, in one write, into the other's, which goes on after it.
    const std::string log = e2e::ReadBytes(e2e::RunLogPath());
    const size_t end = log.rfind("\r\nexit code 10 (0x0000000A)\r\n");
    const size_t head = log.rfind("==== ", end);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(std::count(log.begin() + head, log.begin() + end, '\n'), 4) << log.substr(head, end - head);
    EXPECT_NE(log.find("DriverPackageUninstallW gave", end), std::string::npos);
}

TEST(CommandLine, ASwitchInDoubleQuotesIsAccepted) {
    // -ScanHardware only restarts display nodes: safe to run here, and prints nothing.
    e2e::RunResult r = e2e::RunTool(L"\"-ScanHardware\"");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, "");
}

}  // namespace
