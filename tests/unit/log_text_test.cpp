#include "app/log_text.h"

#include <gtest/gtest.h>

#include <string>

namespace mioutil {
namespace {

std::string Encode(const std::wstring& text, size_t capacity = 64) {
    std::string out(capacity, '#');
    const size_t n = EncodeLogLine(text.data(), text.size(), reinterpret_cast<unsigned char*>(&out[0]), capacity);
    EXPECT_LE(n, capacity);
    return out.substr(0, n);
}

TEST(EncodeLogLine, Utf8WithCrLfAndNothingThatForgesALine) {
    EXPECT_EQ(Encode(L"COM3 -> COM4"), "COM3 -> COM4\r\n");
    EXPECT_EQ(Encode(L"caf\u00e9 \u4e2d"), "caf\xC3\xA9 \xE4\xB8\xAD\r\n");
    EXPECT_EQ(Encode(std::wstring{0xD83D, 0xDE00}), "\xF0\x9F\x98\x80\r\n");  // a surrogate pair
    // A lone surrogate, and control characters (a value holding a line feed), become U+FFFD.
    EXPECT_EQ(Encode(std::wstring{L'a', 0xDC00, L'b', 0xD800}), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD\r\n");
    EXPECT_EQ(Encode(L"x\r\nexit code 0"), "x\xEF\xBF\xBD\xEF\xBF\xBD" "exit code 0\r\n");
    EXPECT_EQ(Encode(L""), "\r\n");
}

TEST(EncodeLogLine, NeverPastItsCapacityNorPartOfACharacter) {
    EXPECT_EQ(Encode(L"abcdef", 5), "abc\r\n");
    EXPECT_EQ(Encode(L"ab\u00e9", 5), "ab\r\n");  // the two bytes of the e-acute do not fit after "ab"
    EXPECT_EQ(Encode(L"abc", 2), "\r\n");
    EXPECT_EQ(Encode(L"abc", 1), "");
}

TEST(MarkLogLineCut, EndsTheLineWithTheMark) {
    std::wstring line(kLogLineChars, L'x');
    MarkLogLineCut(&line[0], kLogLineChars);
    const std::wstring mark = kLogCutMark;
    EXPECT_EQ(line.find(L'\0'), kLogLineChars - 1);
    EXPECT_EQ(line.substr(kLogLineChars - 1 - mark.size(), mark.size()), mark);
}

}  // namespace
}  // namespace mioutil
