// The platform probe under each Windows version Wine can pretend to be.
#include <gtest/gtest.h>

#include <cstdio>

#include "harness.h"

namespace {

struct Expected {
    const wchar_t* wineVersion;
    unsigned major, minor, product;  // as Wine 8 reports them
    unsigned platformClass;
};

// The class is what the probe's table gives for what Wine reports. Wine 8.0
// reports win7 as a server and win2008r2 as a workstation (the reverse of
// Windows), so those two rows come out as each other's class.
const Expected kVersions[] = {
    {L"winxp64", 5, 2, 1, 0x51000060},   // XP Professional x64
    {L"win2003", 5, 2, 3, 0x52000060},   // Server 2003 x64
    {L"win2008", 6, 0, 3, 0x60200860},   // Server 2008 x64
    {L"win7", 6, 1, 3, 0x60200860},      // Wine quirk: server product type
    {L"win2008r2", 6, 1, 1, 0x61000060}, // Wine quirk: workstation product type
    {L"win10", 6, 2, 1, 0x00000060},     // no supported-OS manifest: reported as 6.2
};

void PrintTo(const Expected& e, std::ostream* out) { *out << e2e::Narrow(e.wineVersion); }

class PlatformProbe : public testing::TestWithParam<Expected> {};

TEST_P(PlatformProbe, Class) {
    ASSERT_TRUE(e2e::RunningUnderWine()) << "the version switch is Wine's own";
    const Expected& e = GetParam();
    e2e::WineVersionFor version(L"probe_helper.exe", e.wineVersion);
    e2e::RunResult r = e2e::RunCommandLine(L"\"" + e2e::BinDir() + L"\\probe_helper.exe\"");
    ASSERT_EQ(r.exitCode, 0u);
    unsigned major = 0, minor = 0, product = 0, arch = 0, cls = 0;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "%u %u %u %u 0x%x", &major, &minor, &product, &arch, &cls), 5) << r.out;
    SCOPED_TRACE(r.out);
    EXPECT_EQ(major, e.major);
    EXPECT_EQ(minor, e.minor);
    EXPECT_EQ(product, e.product);
    EXPECT_EQ(arch, 9u);  // PROCESSOR_ARCHITECTURE_AMD64
    EXPECT_EQ(cls, e.platformClass);
}

INSTANTIATE_TEST_SUITE_P(UnderWine, PlatformProbe, testing::ValuesIn(kVersions));

// The tool's own stack guard (GCC's would load a crypto provider into every run)
// is seeded, and a smashed stack ends the process before the function returns.
TEST(StackProtector, TheGuardIsSeededAndASmashedStackEndsTheProcess) {
    const e2e::RunResult r = e2e::RunCommandLine(L"\"" + e2e::BinDir() + L"\\stack_smash.exe\"");
    EXPECT_EQ(r.out, "seeded\r\n");
    EXPECT_EQ(r.exitCode, static_cast<DWORD>(STATUS_STACK_BUFFER_OVERRUN));
}

}  // namespace
