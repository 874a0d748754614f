#include "log_text.h"

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

// What would break a line, hide, or reorder what a reader sees becomes U+FFFD; its neighbours stay.
TEST(EncodeLogLine, LineBreaksAndFormatCharactersBecomeTheReplacementCharacter) {
    const std::wstring hidden[] = {{0x7F}, {0x80}, {0x85}, {0x9F}, {0x1F}, {0x2028}, {0x2029},
                                   // format characters: bidirectional controls, invisible ones, tags
                                   {0x061C}, {0x200E}, {0x200F}, {0x202A}, {0x202E}, {0x2066}, {0x2069},
                                   {0x200B}, {0x200D}, {0xFEFF}, {0x2060}, {0x00AD}, {0x206A}, {0x206F},
                                   {0xDB40, 0xDC00}, {0xDB40, 0xDC01}, {0xDB40, 0xDC7F}, {0xD834, 0xDD73}};
    wchar_t scrubbed[8];
    for (const std::wstring& c : hidden) {
        const std::wstring text = L'a' + c + L'b';
        EXPECT_EQ(Encode(text), "a\xEF\xBF\xBD" "b\r\n") << std::hex << int(c[0]);
        // -Status's lines the same way, in UTF-16.
        EXPECT_EQ(ScrubText(text.data(), text.size(), scrubbed, 8), 3u);
        EXPECT_EQ(std::wstring(scrubbed), L"a\uFFFDb");
    }
    const std::wstring shown[] = {{0x7E}, {0xA0}, {0x2027}, {0x202F}, {0x2065}, {0x061B}, {0xFEFE},
                                  {0xDB40, 0xDC80}, {0xD834, 0xDD72}};
    for (const std::wstring& c : shown) {
        const std::wstring text = L'a' + c + L'b';
        EXPECT_EQ(Encode(text).find("\xEF\xBF\xBD"), std::string::npos) << std::hex << int(c[0]);
        EXPECT_EQ(std::wstring(scrubbed, ScrubText(text.data(), text.size(), scrubbed, 8)), text);
    }
}

TEST(EncodeLogLine, NeverPastItsCapacityNorPartOfACharacter) {
    EXPECT_EQ(Encode(L"abcdef", 5), "abc\r\n");
    EXPECT_EQ(Encode(L"ab\u00e9", 5), "ab\r\n");  // the two bytes of the e-acute do not fit after "ab"
    EXPECT_EQ(Encode(L"abc", 2), "\r\n");
    EXPECT_EQ(Encode(L"abc", 1), "");
}

std::wstring Quoted(const std::wstring& text, size_t maxChars, size_t capacity = 0) {
    if (capacity == 0) capacity = LogQuotedCapacity(maxChars);
    std::wstring out(capacity, L'#');
    EXPECT_EQ(LogQuoted(text.data(), text.size(), maxChars, &out[0], capacity), out.data());
    const size_t end = out.find(L'\0');
    EXPECT_NE(end, std::wstring::npos);
    return out.substr(0, end);
}

TEST(LogQuoted, QuotesDoublesInnerQuotesAndMarksWhatWasLeftOut) {
    const std::wstring pair{0xD83D, 0xDE00};
    const struct {
        std::wstring text;
        size_t maxChars;
        std::wstring quoted;
    } rows[] = {
        {L"C:\\drv\\a.inf", 100, L"\"C:\\drv\\a.inf\""},
        {L"abcdef", 6, L"\"abcdef\""},
        {L"abcdefg", 6, L"\"abcdef\"\u2026[+1 chars]"},
        {std::wstring(1234, L'x'), 3, L"\"xxx\"\u2026[+1231 chars]"},
        // A quote inside shows doubled, so the closing quote and mark cannot be forged.
        {L"COM3\" failed", 100, L"\"COM3\"\" failed\""},
        {L"ab\"cd", 3, L"\"ab\"\u2026[+3 chars]"},  // never half a doubled quote
        {L"ab" + pair + L"c", 3, L"\"ab\"\u2026[+3 chars]"},  // never half a surrogate pair
        {L"ab" + pair + L"c", 4, L"\"ab" + pair + L"\"\u2026[+1 chars]"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Quoted(row.text, row.maxChars), row.quoted) << testing::PrintToString(row.text);
    }
    // A buffer too small for the bound shrinks it; one too small for the quotes and mark stays empty.
    EXPECT_EQ(Quoted(L"abcdef", 100, LogQuotedCapacity(2)), L"\"ab\"\u2026[+4 chars]");
    EXPECT_EQ(Quoted(L"abcdef", 100, LogQuotedCapacity(0) - 1), L"");
    // The widest form of the tool's longest texts still fits the width the line budget counts.
    const std::wstring quotes(32767, L'"');
    EXPECT_EQ(Quoted(quotes, kLogTextChars).size(), LogQuotedWidth(kLogTextChars));
    LogQuote q;
    EXPECT_EQ(std::wstring(LogQuoted(quotes.c_str(), q)).size(), LogQuotedWidth(kLogTextChars));
}

TEST(ShortenLogText, KeepsAShortTextAndEndsALongOneWithAnEllipsis) {
    std::wstring text = L"Access is denied";
    ShortenLogText(&text[0], 16);
    EXPECT_EQ(std::wstring(text.c_str()), L"Access is denied");
    ShortenLogText(&text[0], 7);
    EXPECT_EQ(std::wstring(text.c_str()), L"Access\u2026");
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
