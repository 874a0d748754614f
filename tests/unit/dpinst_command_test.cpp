// The DPInst program and command: the drive of the Windows folder, the path
// unquoted after the quoted program, and the refusals.
#include <gtest/gtest.h>

#include "drivers/dpinst_command.h"

#include <string>

#include "build_into.h"
#include "names.h"

namespace mioutil {
namespace {

const std::wstring kCommandHead = L"\"C:\\Program Files\\KORAV\\DPInst.exe\" /s /u ";

bool Command(const std::wstring& path, std::wstring& out) {
    return BuildInto(out, [&](wchar_t* buffer) {
        return BuildDpinstCommandLine(L"C:", kDpinstFolder, kDpinstTool, path.data(), path.size(), buffer, kCapacity);
    });
}

TEST(DpinstCommand, PathFollowsTheQuotedProgramUnquotedBlanksAndAll) {
    EXPECT_EQ(kCommandHead.size(), 42u);
    std::wstring out;
    const std::wstring path = L"C:\\Windows\\System32\\DriverStore\\FileRepository\\krv port.inf_amd64\\krv port.inf";
    ASSERT_TRUE(Command(path, out));
    EXPECT_EQ(out, kCommandHead + path);
    ASSERT_TRUE(BuildInto(out, [](wchar_t* buffer) {
        return BuildDpinstProgramPath(L"D:", kDpinstFolder, kDpinstTool, buffer, kCapacity);
    }));
    EXPECT_EQ(out, L"D:\\Program Files\\KORAV\\DPInst.exe");
}

TEST(DpinstCommand, TheDriveIsThatOfTheWindowsFolderOrNone) {
    auto drive = [](const std::wstring& folder, std::wstring& out) {
        return BuildInto(out, [&](wchar_t* buffer) { return DriveOfFolder(folder.data(), folder.size(), buffer, 4); });
    };
    std::wstring out;
    ASSERT_TRUE(drive(L"E:\\WINDOWS", out));
    EXPECT_EQ(out, L"E:");
    for (const wchar_t* refused : {L"\\\\server\\share\\Windows", L"1:\\Windows", L"C", L"", L"CD:\\x", L"C:Windows"}) {
        EXPECT_FALSE(drive(refused, out)) << testing::PrintToString(std::wstring(refused));
        EXPECT_EQ(out, L"");
    }
}

TEST(DpinstCommand, LongestPathThatFitsIsBuiltOneMoreIsRefused) {
    std::wstring out;
    const std::wstring fits = L"C:\\" + std::wstring(214, L'p');  // 217 characters: 259 with the head
    ASSERT_TRUE(Command(fits, out));
    EXPECT_EQ(out.size(), 259u);
    EXPECT_EQ(out, kCommandHead + fits);

    EXPECT_FALSE(Command(fits + L"q", out));
    EXPECT_EQ(out, L"");  // never cut short into another path
    EXPECT_FALSE(Command(std::wstring(261, L'p'), out));
    EXPECT_EQ(out, L"");
}

TEST(DpinstCommand, CharactersTheInterpreterActsOnAreRefused) {
    // A zero inside the length given is a control character too: never a shorter path.
    const wchar_t special[] = {L'"', L'&', L'|', L'<', L'>', L'^', L'%', L'\t', L'\n', 0x00, 0x1F, 0x7F};
    for (wchar_t c : special) {
        std::wstring out;
        const std::wstring path = L"C:\\drv\\a" + std::wstring(1, c) + L"b.inf";
        EXPECT_FALSE(Command(path, out)) << "character " << static_cast<unsigned>(c);
        EXPECT_EQ(out, L"");
    }
    // Characters of ordinary paths pass, also outside ASCII.
    std::wstring out;
    const std::wstring ordinary = L"C:\\Dr (x86)\\a_b-c.d!e~f=g+h;i,j'k@l#m$n{o}p[q]\u00e9\u4e2d.inf";
    EXPECT_TRUE(Command(ordinary, out));
    EXPECT_EQ(out, kCommandHead + ordinary);
}

}  // namespace
}  // namespace mioutil
