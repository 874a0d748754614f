// Paths built whole or not at all, and the names of the INF files taken.
#include <gtest/gtest.h>

#include "drivers/driver_paths.h"

#include <cwchar>
#include <string>

#include "build_into.h"
#include "names.h"

namespace mioutil {
namespace {

bool Join(const std::wstring& folder, const std::wstring& name, std::wstring& out) {
    return BuildInto(out, [&](wchar_t* buffer) {
        return JoinPath(folder.data(), folder.size(), name.data(), name.size(), buffer, kCapacity);
    });
}

TEST(JoinPath, BuildsWholePathsOrNone) {
    std::wstring out;
    ASSERT_TRUE(Join(L"C:\\Windows\\inf", L"oem12.inf", out));
    EXPECT_EQ(out, L"C:\\Windows\\inf\\oem12.inf");

    const std::wstring folder = L"C:\\windows\\inf";  // 14 characters and the backslash
    ASSERT_TRUE(Join(folder, std::wstring(244, L'a'), out));
    EXPECT_EQ(out.size(), 259u);
    EXPECT_FALSE(Join(folder, std::wstring(245, L'a'), out));
    EXPECT_EQ(out, L"");
    EXPECT_FALSE(Join(std::wstring(259, L'w'), L"", out));  // the backslash alone no longer fits
    EXPECT_FALSE(Join(std::wstring(300, L'w'), L"inf", out));
}

bool Pnf(const std::wstring& inf, std::wstring& out) {
    return BuildInto(out, [&](wchar_t* buffer) { return PnfPathOf(inf.data(), inf.size(), buffer, kCapacity); });
}

TEST(PnfPathOf, ReplacesTheLastFourCharacters) {
    std::wstring out;
    ASSERT_TRUE(Pnf(L"C:\\Windows\\inf\\oem12.inf", out));
    EXPECT_EQ(out, L"C:\\Windows\\inf\\oem12.pnf");
    ASSERT_TRUE(Pnf(L"C:\\w\\OEM3.INF", out));
    EXPECT_EQ(out, L"C:\\w\\OEM3.pnf");
    EXPECT_FALSE(Pnf(L"inf", out));
    EXPECT_EQ(out, L"");
    const std::wstring longest = std::wstring(255, L'a') + L".inf";  // 259 characters
    ASSERT_TRUE(Pnf(longest, out));
    EXPECT_EQ(out, std::wstring(255, L'a') + L".pnf");
}

TEST(IsOemInfName, OnlyLongNamesThatAreThemselvesOemInf) {
    for (const wchar_t* name : {L"oem12.inf", L"OEM3.INF", L"Oem.Inf", L"oem1 copy.inf"}) {
        EXPECT_TRUE(IsOemInfName(name, std::wcslen(name))) << testing::PrintToString(std::wstring(name));
    }
    // What oem*.inf finds through 8.3 aliases (OEM140~1.INF) and other near misses.
    for (const wchar_t* name : {L"oem140.inf_old", L"oem141.infx", L"oem1.pnf", L"xoem1.inf", L"oe.inf", L"oem.in"}) {
        EXPECT_FALSE(IsOemInfName(name, std::wcslen(name))) << testing::PrintToString(std::wstring(name));
    }
}

bool Sibling(const std::wstring& module, const std::wstring& name, std::wstring& out) {
    return BuildInto(out, [&](wchar_t* buffer) {
        return SiblingPath(module.data(), module.size(), name.data(), name.size(), buffer, kCapacity);
    });
}

TEST(SiblingPath, PutsTheNameInTheModulesFolder) {
    std::wstring out;
    ASSERT_TRUE(Sibling(L"C:\\Program Files\\KORAV\\mioutil.exe", kDifxApiDll, out));
    EXPECT_EQ(out, L"C:\\Program Files\\KORAV\\difxapi.dll");
    EXPECT_FALSE(Sibling(L"mioutil.exe", kDifxApiDll, out));  // no folder: never the current directory
    EXPECT_EQ(out, L"");
    EXPECT_FALSE(Sibling(L"C:\\" + std::wstring(250, L'f') + L"\\mioutil.exe", kDifxApiDll, out));
    EXPECT_EQ(out, L"");
}

}  // namespace
}  // namespace mioutil
