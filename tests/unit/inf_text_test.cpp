// The provider test over an INF file's bytes, and the widening it answers as.
#include <gtest/gtest.h>

#include "drivers/inf_text.h"

#include <cstdint>
#include <string>
#include <vector>

#include "names.h"
#include "text.h"
#include "widen_bytes.h"

namespace mioutil {
namespace {

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

}  // namespace
}  // namespace mioutil
