// The command line as the tool sees it from a real process start: exit codes
// and the exact bytes of the one message.
#include <gtest/gtest.h>

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

TEST(CommandLine, ASwitchInDoubleQuotesIsAccepted) {
    // -ScanHardware only restarts display nodes: safe to run here, and prints nothing.
    e2e::RunResult r = e2e::RunTool(L"\"-ScanHardware\"");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, "");
}

}  // namespace
