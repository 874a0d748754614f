// "-ScanHardware" under Wine: test display nodes in the recording test class
// show which nodes were restarted.
#include <gtest/gtest.h>

#include "devices.h"
#include "harness.h"

namespace {

// Sorts before Wine's own DISPLAY\DEFAULT_MONITOR node, so the walk meets these first.
const wchar_t kTestDisplays[] = L"DISPLAY\\AAA_MIOUTIL_TEST";
const std::wstring kFirst = L"DISPLAY\\AAA_MIOUTIL_TEST\\0000";
const std::wstring kSecond = L"DISPLAY\\AAA_MIOUTIL_TEST\\0001";

class ScanHardware : public testing::Test {
protected:
    void SetUp() override {
        e2e::RemoveNodes(kTestDisplays);
        e2e::ClearRecordedRestarts();
        ASSERT_TRUE(e2e::RegisterTestClass(e2e::BinDir()));
    }
    void TearDown() override {
        e2e::RemoveNodes(kTestDisplays);
        e2e::ClearRecordedRestarts();
        e2e::UnregisterTestClass();
    }
};

// Wine's SetupDiSetClassInstallParamsW always fails, so under Wine every
// restart fails and the walk ends after the first display node, whose class
// installer is still called.
TEST_F(ScanHardware, UnderWineTheWalkStopsAfterTheFirstDisplayNode) {
    for (const std::wstring& id : {kFirst, kSecond}) {
        e2e::NodeSpec wanted;
        wanted.instanceId = id;
        ASSERT_TRUE(e2e::CreateNode(wanted));
    }
    const std::vector<std::wstring> displays = e2e::ListNodes(L"DISPLAY");
    ASSERT_GE(displays.size(), 2u);
    ASSERT_EQ(displays[0], kFirst);
    ASSERT_EQ(displays[1], kSecond);

    // The premise, checked on the node itself.
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    SP_DEVINFO_DATA data = e2e::DevInfoData();
    ASSERT_TRUE(SetupDiOpenDeviceInfoW(set, kFirst.c_str(), nullptr, 0, &data));
    SP_PROPCHANGE_PARAMS params = {};
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    params.StateChange = DICS_PROPCHANGE;
    params.Scope = DICS_FLAG_GLOBAL;
    EXPECT_FALSE(SetupDiSetClassInstallParamsW(set, &data, &params.ClassInstallHeader, sizeof(params)))
        << "Wine now takes class-install parameters: the walk will go on past the first node";
    SetupDiDestroyDeviceInfoList(set);

    e2e::RunResult r = e2e::RunTool(L"-ScanHardware");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(e2e::RecordedRestarts(), std::vector<std::wstring>{kFirst});
}

}  // namespace
