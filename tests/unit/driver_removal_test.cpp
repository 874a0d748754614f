// The pure pieces of -UninstallDriver: the DPInst command and its refusals, the
// byte widening and provider search, and the paths built whole or not at all.
#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "drivers/dpinst_command.h"
#include "drivers/driver_paths.h"
#include "drivers/inf_text.h"
#include "names.h"
#include "text.h"

namespace mioutil {
namespace {

constexpr size_t kCapacity = 260;  // the command and every path have 260 characters
const std::wstring kCommandHead = L"\"C:\\Program Files\\KORAV\\DPInst.exe\" /s /u ";

// Runs a builder on a buffer pre-filled with junk, so a refusal must really clear it.
template <typename Builder>
bool BuildInto(std::wstring& out, Builder build) {
    wchar_t buffer[kCapacity];
    for (wchar_t& c : buffer) c = L'#';
    const bool ok = build(buffer);
    out.assign(buffer);
    return ok;
}

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

std::wstring Widen(const std::string& bytes, size_t capacity = 65536) {
    std::wstring out(capacity, L'#');
    const size_t n = WidenBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &out[0],
                                capacity);
    EXPECT_EQ(out[n], L'\0');
    return out.substr(0, n);
}

TEST(WidenBytes, EachByteBecomesTheCharacterOfTheSameValue) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::wstring wide = Widen(all);
    ASSERT_EQ(wide.size(), 255u);
    for (size_t i = 0; i < wide.size(); ++i) EXPECT_EQ(static_cast<unsigned>(wide[i]), i + 1);
}

TEST(WidenBytes, StopsAtTheFirstZeroByteAndAtTheCapacity) {
    // UTF-16 text: the byte-order mark and the first character, then a zero byte.
    EXPECT_EQ(Widen(std::string("\xFF\xFE[\0V\0e\0r\0", 10)), L"\u00FF\u00FE[");
    EXPECT_EQ(Widen(std::string("abc", 3)), L"abc");
    EXPECT_EQ(Widen(std::string()), L"");
    EXPECT_EQ(Widen("abcdef", 4), L"abc");  // three characters and the terminating zero
}

bool Contains(const std::wstring& text, const std::wstring& needle) {
    return ContainsText(text.data(), text.size(), needle.data(), needle.size());
}

TEST(ContainsText, FindsTheProviderAnywhereCaseMatters) {
    const std::wstring provider = kProviderStrings[2];  // KORAV GROUP
    EXPECT_TRUE(Contains(L"Provider=KORAV GROUP", provider));
    EXPECT_TRUE(Contains(L"; by KORAV GROUPS Ltd", provider));  // start of a longer word
    EXPECT_TRUE(Contains(L"KORAV GROUKORAV GROUP", provider));   // a false start just before
    EXPECT_FALSE(Contains(L"korav group", provider));
    EXPECT_FALSE(Contains(L"KORAV GROU", provider));
    EXPECT_FALSE(Contains(L"", provider));
    EXPECT_FALSE(Contains(L"anything", L""));  // an empty provider names nobody
}

// The bytes in a buffer of exactly their size: ASan reports any read past them.
bool InInf(const std::string& bytes, const std::wstring& provider, size_t count = SIZE_MAX) {
    const std::vector<unsigned char> b(bytes.begin(), bytes.end());
    return InfTextContains(b.data(), count == SIZE_MAX ? b.size() : count, provider.data(), provider.size());
}

TEST(InfTextContains, FindsTheProviderAnywhereInTheBytesCaseMatters) {
    for (const wchar_t* provider : kProviderStrings) {
        const std::string p(provider, provider + std::wstring(provider).size());
        SCOPED_TRACE(p);
        EXPECT_TRUE(InInf("[Version]\r\nProvider=" + p + "\r\n", provider));
        EXPECT_TRUE(InInf(p, provider));
        EXPECT_TRUE(InInf("; by " + p + "WARE", provider));  // start of a longer word
        EXPECT_FALSE(InInf(p.substr(0, p.size() - 1), provider));
        EXPECT_FALSE(InInf(p.substr(1), provider));
    }
    EXPECT_TRUE(InInf("KORAV GROUKORAV GROUP", L"KORAV GROUP"));  // a false start just before
    EXPECT_FALSE(InInf("Provider=korav group", L"KORAV GROUP"));
    // Each byte is the character of the same value; no byte is a character above U+00FF.
    EXPECT_TRUE(InInf("; caf\xE9 \xA9 1998", L"caf\u00E9 \u00A9"));
    EXPECT_FALSE(InInf("; xAy", L"x\u0141y"));
    EXPECT_FALSE(InInf("", L"KORAV GROUP"));
    EXPECT_FALSE(InInf("anything", L""));  // an empty provider names nobody
}

TEST(InfTextContains, LooksOnlyBeforeTheFirstZeroByteInTheFirst65535Bytes) {
    const std::string provider = "KORAV GROUP";
    const std::wstring wide = L"KORAV GROUP";
    EXPECT_FALSE(InInf(std::string("; \0 ", 4) + provider, wide));
    EXPECT_TRUE(InInf(provider + std::string("\0", 1), wide));
    // UTF-16: the byte-order mark and the first character, then a zero byte.
    std::string utf16 = "\xFF\xFE";
    for (char c : "[Version]\r\nProvider=" + provider) utf16 += std::string(1, c) + std::string(1, '\0');
    EXPECT_FALSE(InInf(utf16, wide));
    // Only what was read counts.
    EXPECT_TRUE(InInf("; " + provider, wide, provider.size() + 2));
    EXPECT_FALSE(InInf("; " + provider, wide, provider.size() + 1));

    const std::string filler(65535 - provider.size(), ';');
    EXPECT_TRUE(InInf(filler + provider + "\r\n", wide));  // its last byte is the 65535th
    EXPECT_FALSE(InInf(filler + ";" + provider, wide));
}

// The skip search gives the answers of searching the widened text, on short texts
// of the providers' letters, zero bytes among them, for needles cut from the text
// and made up.
TEST(InfTextContains, AnswersAsASearchOfTheWidenedText) {
    const char letters[] = {'K', 'O', 'R', 'A', 'V', ' ', 'G', 'U', 'P', '.', 'o', '\0', '\xE9'};
    uint32_t seed = 7;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    std::vector<wchar_t> wide(kInfTextLimit + 1);
    for (int round = 0; round < 20000; ++round) {
        std::string text(next(24), ' ');
        for (char& c : text) c = letters[next(sizeof(letters))];
        std::wstring needle;
        if (!text.empty() && round % 2 == 0) {
            const size_t start = next(static_cast<uint32_t>(text.size()));
            const size_t wanted = 1 + next(8);
            for (size_t i = start; i < text.size() && needle.size() < wanted; ++i) {
                needle += static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
            }
        } else {
            for (size_t n = 1 + next(5); n > 0; --n) {
                needle += static_cast<wchar_t>(static_cast<unsigned char>(letters[next(sizeof(letters) - 2)]));
            }
        }
        const size_t length = WidenBytes(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                                         wide.data(), wide.size());
        ASSERT_EQ(InInf(text, needle), ContainsText(wide.data(), length, needle.data(), needle.size()))
            << testing::PrintToString(text) << " " << testing::PrintToString(needle);
    }
}

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
