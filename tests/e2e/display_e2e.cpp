// "-ScanHardware" under Wine: test display nodes in the recording test class
// show which nodes were restarted.
#include <gtest/gtest.h>

#include "devices.h"
#include "harness.h"

namespace e2e {
namespace {

// Sorts before Wine's own DISPLAY\DEFAULT_MONITOR node, so the walk meets these first.
const std::wstring kFirst = std::wstring(kTestDisplays) + L"\\0000";
const std::wstring kSecond = std::wstring(kTestDisplays) + L"\\0001";

class ScanHardware : public DeviceTest {};

// Wine's SetupDiSetClassInstallParamsW always fails; the class installer is
// called all the same, and its result decides. The test nodes' installer
// restarts them; Wine's own display node has none, and the walk stops there.
TEST_F(ScanHardware, TheWalkGoesOnWhileTheClassInstallerRestartsAndStopsAtTheFirstFailure) {
    ASSERT_TRUE(CreateNodes({{kFirst}, {kSecond}}));
    const std::vector<std::wstring> displays = ListNodes(L"DISPLAY");
    ASSERT_GE(displays.size(), 2u);
    ASSERT_EQ(displays[0], kFirst);
    ASSERT_EQ(displays[1], kSecond);

    {  // The premise, checked on the node itself.
        const UniqueDevInfo set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
        SP_DEVINFO_DATA data = DevInfoData();
        ASSERT_TRUE(SetupDiOpenDeviceInfoW(set.get(), kFirst.c_str(), nullptr, 0, &data));
        SP_PROPCHANGE_PARAMS params = {};
        params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
        params.StateChange = DICS_PROPCHANGE;
        params.Scope = DICS_FLAG_GLOBAL;
        EXPECT_FALSE(SetupDiSetClassInstallParamsW(set.get(), &data, &params.ClassInstallHeader, sizeof(params)))
            << "Wine now takes class-install parameters: this case no longer shows they are not what decides";
    }

    const RunResult r = RunTool(L"-ScanHardware");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(RecordedRestarts(), (std::vector<std::wstring>{kFirst, kSecond}));
    EXPECT_TRUE(RunLogHas({"restart failed, the walk stops here (class-install parameters refused, class installer "
                           "failed): display node \"DISPLAY\\DEFAULT_MONITOR"}));
}

}  // namespace
}  // namespace e2e
