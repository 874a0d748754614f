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
}

TEST(CommandLine, ASwitchInDoubleQuotesIsAccepted) {
    // -ScanHardware only restarts display nodes: safe to run here, and prints nothing.
    e2e::RunResult r = e2e::RunTool(L"\"-ScanHardware\"");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, "");
}

}  // namespace
