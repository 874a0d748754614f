#include "platform/platform_class.h"

#include <gtest/gtest.h>

namespace mioutil {
namespace {

constexpr uint32_t kWs = kProductWorkstation;
constexpr uint32_t kDc = 2;      // VER_NT_DOMAIN_CONTROLLER
constexpr uint32_t kSrv = 3;     // VER_NT_SERVER
constexpr uint32_t kArm64 = 12;  // PROCESSOR_ARCHITECTURE_ARM64
constexpr uint32_t kIa64 = 6;

struct Row {
    uint32_t major, minor, product, arch, expected;
};

// Every row of the classification table, with each "any" tried with several values.
const Row kRows[] = {
    // 5.0 and 5.1: architecture and product type not looked at
    {5, 0, kWs, kArchIntel, 0x50000003}, {5, 0, kSrv, kArchAmd64, 0x50000003}, {5, 0, kWs, kArm64, 0x50000003},
    {5, 1, kWs, kArchIntel, 0x51000003}, {5, 1, kWs, kArchAmd64, 0x51000003}, {5, 1, kDc, kIa64, 0x51000003},
    // 5.2
    {5, 2, kWs, kArchAmd64, 0x51000060}, {5, 2, kSrv, kArchAmd64, 0x52000060}, {5, 2, kDc, kArchAmd64, 0x52000060},
    {5, 2, kWs, kArchIntel, 0x52000003}, {5, 2, kSrv, kArchIntel, 0x52000003},
    {5, 2, kWs, kIa64, 0}, {5, 2, kSrv, kArm64, 0},
    {5, 3, kWs, kArchIntel, 0}, {5, 5, kSrv, kArchAmd64, 0},
    // 6.0
    {6, 0, kWs, kArchAmd64, 0x60000060}, {6, 0, kWs, kArchIntel, 0x60000003},
    {6, 0, kSrv, kArchAmd64, 0x60200860}, {6, 0, kDc, kArchIntel, 0x60200803},
    // 6.1
    {6, 1, kWs, kArchAmd64, 0x61000060}, {6, 1, kWs, kArchIntel, 0x61000003},
    {6, 1, kSrv, kArchAmd64, 0x60200860}, {6, 1, kSrv, kArchIntel, 0x60200803},
    // 6.2 (Windows 8 and everything later without a supported-OS manifest), 6.3
    {6, 2, kWs, kArchAmd64, 0x60}, {6, 2, kSrv, kArchIntel, 0x03}, {6, 3, kSrv, kArchAmd64, 0x60},
    // 6.x with another architecture
    {6, 0, kWs, kArm64, 0}, {6, 1, kSrv, kIa64, 0}, {6, 2, kWs, kArm64, 0},
    // other majors
    {0, 0, 0, 0, 0}, {4, 0, kWs, kArchIntel, 0}, {10, 0, kWs, kArchAmd64, 0}, {7, 1, kWs, kArchAmd64, 0},
};

TEST(ClassifyPlatform, MatchesEveryRowOfTheTable) {
    for (const Row& r : kRows) {
        EXPECT_EQ(ClassifyPlatform(r.major, r.minor, r.product, r.arch), r.expected)
            << r.major << "." << r.minor << " product " << r.product << " arch " << r.arch;
    }
}

TEST(ClassifyPlatform, ArchitectureGroupsNeverMix) {
    for (const Row& r : kRows) {
        const uint32_t c = ClassifyPlatform(r.major, r.minor, r.product, r.arch);
        EXPECT_FALSE((c & kPlatformX86) && (c & kPlatformX64)) << std::hex << c;
        if (c != 0) {
            EXPECT_TRUE(((c & 0xFF) == kPlatformX86) || ((c & 0xFF) == kPlatformX64)) << std::hex << c;
        }
    }
}

}  // namespace
}  // namespace mioutil
