#include "app/command_line.h"

#include <gtest/gtest.h>

#include "names.h"

namespace mioutil {
namespace {

uint32_t Parse(std::initializer_list<const wchar_t*> args) {
    const wchar_t* argv[8] = {L"mioutil.exe"};
    int argc = 1;
    for (const wchar_t* a : args) argv[argc++] = a;
    return ParseCommandLine(argc, argv);
}

TEST(ParseCommandLine, NoArgumentRemapsPorts) {
    EXPECT_EQ(Parse({}), OpRemapComPorts);
    EXPECT_EQ(OpRemapComPorts, 0x4000u);
}

TEST(ParseCommandLine, EachSwitchGivesItsCode) {
    EXPECT_EQ(Parse({L"-RemoveDeviceNode"}), 0x8000u);
    EXPECT_EQ(Parse({L"-RemoveCOMdb"}), 0x20000u);
    EXPECT_EQ(Parse({L"-ScanHardware"}), 0x10000u);
    EXPECT_EQ(Parse({L"-UninstallDriver"}), 0x3000u);
}

TEST(ParseCommandLine, RejectsAnythingButAWholeSwitch) {
    const wchar_t* rejected[] = {
        L"",                     L"-removecomdb",       L"-REMOVECOMDB",       L"-RemoveComDb",
        L"/RemoveCOMdb",         L"--RemoveCOMdb",      L"-RemoveCOMdbX",      L"-RemoveCOMd",
        L" -RemoveCOMdb",        L"-RemoveCOMdb ",      L"-RemoveDeviceNodes", L"-ScanHardware\t",
        L"-UninstallDrivers",    L"-",                  L"RemoveCOMdb",        L"\"-ScanHardware\"",
        L"-Remove",              L"-uninstalldriver",
    };
    for (const wchar_t* arg : rejected) {
        EXPECT_EQ(Parse({arg}), OpInvalid) << "argument: [" << testing::PrintToString(std::wstring(arg)) << "]";
    }
}

TEST(ParseCommandLine, MoreThanOneArgumentIsInvalidEvenWithAValidSwitch) {
    EXPECT_EQ(Parse({L"-ScanHardware", L"x"}), OpInvalid);
    EXPECT_EQ(Parse({L"-ScanHardware", L"-ScanHardware"}), OpInvalid);
    EXPECT_EQ(Parse({L"-RemoveCOMdb", L""}), OpInvalid);
    EXPECT_EQ(Parse({L"a", L"b", L"c"}), OpInvalid);
}

TEST(ParseCommandLine, OddCountsAreInvalid) {
    const wchar_t* argv[] = {L"mioutil.exe", nullptr};
    EXPECT_EQ(ParseCommandLine(0, argv), OpInvalid);
    EXPECT_EQ(ParseCommandLine(2, argv), OpInvalid);  // a null argument never matches
}

}  // namespace
}  // namespace mioutil
