#include "devices/port_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "text.h"

namespace mioutil {
namespace {

// A text in a buffer of exactly `capacity` characters, zero-filled after the
// text; the sanitizer catches any read past its end.
std::vector<wchar_t> Buffer(const std::wstring& text, size_t capacity = kTextChars) {
    std::vector<wchar_t> buffer(capacity, L'\0');
    std::copy(text.begin(), text.begin() + std::min(text.size(), capacity), buffer.begin());
    return buffer;
}

int32_t Decimal(const std::wstring& text) { return DecimalValue(text.data(), text.size()); }

TEST(DecimalValue, ReadsWhiteSpaceSignAndDigitsUpToTheFirstOtherCharacter) {
    EXPECT_EQ(Decimal(L"12"), 12);
    EXPECT_EQ(Decimal(L"0007"), 7);
    EXPECT_EQ(Decimal(L" \t\r\n\v\f42"), 42);
    EXPECT_EQ(Decimal(L"+9"), 9);
    EXPECT_EQ(Decimal(L"-9"), -9);
    EXPECT_EQ(Decimal(L"12ab3"), 12);
    EXPECT_EQ(Decimal(L"1 2"), 1);
    EXPECT_EQ(Decimal(L""), 0);
    EXPECT_EQ(Decimal(L"abc"), 0);
    EXPECT_EQ(Decimal(L"-"), 0);
    EXPECT_EQ(Decimal(L"+-3"), 0);
    EXPECT_EQ(Decimal(L"- 3"), 0);
    EXPECT_EQ(Decimal(L"x12"), 0);
}

TEST(DecimalValue, ClampsToThe32BitSignedRange) {
    EXPECT_EQ(Decimal(L"2147483647"), INT32_MAX);
    EXPECT_EQ(Decimal(L"2147483648"), INT32_MAX);
    EXPECT_EQ(Decimal(L"99999999999999999999999999999999"), INT32_MAX);
    EXPECT_EQ(Decimal(L"-2147483648"), INT32_MIN);
    EXPECT_EQ(Decimal(L"-2147483649"), INT32_MIN);
    EXPECT_EQ(Decimal(L"-99999999999999999999999999999999"), INT32_MIN);
}

TEST(DecimalValue, StopsAtTheGivenLength) {
    const std::wstring text = L"12345";
    EXPECT_EQ(DecimalValue(text.data(), 3), 123);
    EXPECT_EQ(DecimalValue(text.data(), 0), 0);
}

TEST(ComNumber, SkipsTheFirstThreeCharactersWhateverTheyAre) {
    EXPECT_EQ(ComNumberFromPortName(Buffer(L"COM12").data(), kTextChars), 12);
    EXPECT_EQ(ComNumberFromPortName(Buffer(L"XYZ7").data(), kTextChars), 7);
    EXPECT_EQ(ComNumberFromPortName(Buffer(L"123").data(), kTextChars), 0);
    EXPECT_EQ(ComNumberFromPortName(Buffer(L"COM-5").data(), kTextChars), -5);
    EXPECT_EQ(ComNumberFromPortName(Buffer(L"COM").data(), kTextChars), 0);
    EXPECT_EQ(ComNumberFromPortName(Buffer(L"CO").data(), kTextChars), 0);
    EXPECT_EQ(ComNumberFromPortName(Buffer(L"").data(), kTextChars), 0);
    EXPECT_EQ(ComNumberFromPortName(Buffer(L"Serial").data(), kTextChars), 0);
}

TEST(ComNumber, TheTextEndsAtItsFirstNul) {
    const std::wstring withNul(L"CO\0M5", 5);
    EXPECT_EQ(ComNumberFromPortName(Buffer(withNul).data(), kTextChars), 0);
    const std::wstring afterNul(L"COM\0" L"5", 5);
    EXPECT_EQ(ComNumberFromPortName(Buffer(afterNul).data(), kTextChars), 0);
}

TEST(ComNumber, AnUnterminatedBufferIsReadToItsEndAndNoFurther) {
    // 256 characters, no NUL: "COM", zeros, then "42" in the last two characters.
    std::wstring full = L"COM" + std::wstring(kTextChars - 5, L'0') + L"42";
    ASSERT_EQ(full.size(), kTextChars);
    EXPECT_EQ(ComNumberFromPortName(Buffer(full).data(), kTextChars), 42);
    std::wstring huge = L"COM" + std::wstring(kTextChars - 3, L'9');
    EXPECT_EQ(ComNumberFromPortName(Buffer(huge).data(), kTextChars), INT32_MAX);
    EXPECT_EQ(TextLength(Buffer(huge).data(), kTextChars), kTextChars);
}

TEST(LocationNumber, BeginsAfterThePrefixAndOneCharacter) {
    const size_t prefix = 14;  // "KORAV COM Port"
    EXPECT_EQ(LocationNumber(Buffer(L"KORAV COM Port 3").data(), kTextChars, prefix), 3);
    EXPECT_EQ(LocationNumber(Buffer(L"KORAV COM Port 12").data(), kTextChars, prefix), 12);
    EXPECT_EQ(LocationNumber(Buffer(L"anything at all 7").data(), kTextChars, prefix), 7);  // blank skipped
    EXPECT_EQ(LocationNumber(Buffer(L"KORAV COM Port3").data(), kTextChars, prefix), 0);    // digit is skipped
    EXPECT_EQ(LocationNumber(Buffer(L"###############7").data(), kTextChars, prefix), 7);   // not compared
    EXPECT_EQ(LocationNumber(Buffer(L"KORAV COM Port ").data(), kTextChars, prefix), 0);    // 15 characters
    EXPECT_EQ(LocationNumber(Buffer(L"Port 3").data(), kTextChars, prefix), 0);
    EXPECT_EQ(LocationNumber(Buffer(L"KORAV COM Port x").data(), kTextChars, prefix), 0);
    std::wstring full = std::wstring(15, L'P') + std::wstring(kTextChars - 16, L'0') + L"9";
    EXPECT_EQ(LocationNumber(Buffer(full).data(), kTextChars, prefix), 9);
}

TEST(PortPosition, FollowsTheBaseIndexOfEachCard) {
    // Two cards of two ports: location numbers 1, 2, 1, 2.
    uint32_t base = 0;
    EXPECT_EQ(PortPosition(0, true, 1, &base), 0u);
    EXPECT_EQ(PortPosition(1, true, 2, &base), 1u);
    EXPECT_EQ(PortPosition(2, true, 1, &base), 2u);
    EXPECT_EQ(base, 2u);
    EXPECT_EQ(PortPosition(3, true, 2, &base), 3u);
    // One card listed out of order: 1, 3, 2.
    base = 0;
    EXPECT_EQ(PortPosition(0, true, 1, &base), 0u);
    EXPECT_EQ(PortPosition(1, true, 3, &base), 2u);
    EXPECT_EQ(PortPosition(2, true, 2, &base), 1u);
}

TEST(PortPosition, WithoutLocationTheMemberIndexAndNoBaseMove) {
    uint32_t base = 4;
    EXPECT_EQ(PortPosition(9, false, 1, &base), 9u);
    EXPECT_EQ(base, 4u);
    // Location number 1 always gives the member's own index.
    EXPECT_EQ(PortPosition(300, true, 1, &base), 300u);
    EXPECT_EQ(base, 300u);
}

TEST(PortPosition, WrapsInUnsignedArithmetic) {
    uint32_t base = 0;
    EXPECT_EQ(PortPosition(3, true, 0, &base), 0xFFFFFFFFu);
    EXPECT_EQ(PortPosition(3, true, -4, &base), 0xFFFFFFFBu);
    base = 5;
    EXPECT_EQ(PortPosition(7, true, 0, &base), 4u);  // base index - 1
}

TEST(PortTable, PlacementLeavesOutWhatWouldLoseOrDuplicateANumber) {
    PortTable table = {};
    EXPECT_TRUE(PlacePort(&table, 2, 0, 12));
    EXPECT_FALSE(PlacePort(&table, 2, 1, 10));  // shared position: the first keeps it
    EXPECT_EQ(table.number[2], 12);
    EXPECT_EQ(table.member[2], 0u);
    EXPECT_FALSE(PlacePort(&table, 2, 3, 0));  // a 0 does not empty it either
    EXPECT_EQ(table.number[2], 12);
    EXPECT_FALSE(PlacePort(&table, 5, 4, 0));  // a 0 is never placed
    EXPECT_EQ(table.number[5], 0);
    EXPECT_FALSE(PlacePort(&table, kPortSlots, 5, 7));
    EXPECT_FALSE(PlacePort(&table, 0xFFFFFFFFu, 6, 7));
    EXPECT_TRUE(PlacePort(&table, kPortSlots - 1, 7, 7));

    int32_t number = 0;
    EXPECT_TRUE(AssignedNumber(table, 0, &number));
    EXPECT_EQ(number, 12);
    EXPECT_TRUE(AssignedNumber(table, 7, &number));
    EXPECT_EQ(number, 7);
    for (uint32_t leftOut : {1u, 3u, 4u, 5u, 6u, 8u}) EXPECT_FALSE(AssignedNumber(table, leftOut, &number)) << leftOut;
}

TEST(PortTable, SortKeepsEmptySlotsAndOwnersInPlace) {
    PortTable table = {};
    PlacePort(&table, 0, 10, 12);
    PlacePort(&table, 3, 11, 5);
    PlacePort(&table, 4, 12, -3);
    PlacePort(&table, 9, 13, 7);
    PlacePort(&table, 255, 14, 1);
    SortPortNumbers(&table);
    // Negative numbers compare as unsigned: after every positive one.
    const std::vector<std::pair<uint32_t, int32_t>> expected = {{0, 1}, {3, 5}, {4, 7}, {9, 12}, {255, -3}};
    for (uint32_t slot = 0; slot < kPortSlots; ++slot) {
        auto it = std::find_if(expected.begin(), expected.end(), [&](auto& e) { return e.first == slot; });
        EXPECT_EQ(table.number[slot], it == expected.end() ? 0 : it->second) << slot;
    }
    int32_t number = 0;
    ASSERT_TRUE(AssignedNumber(table, 12, &number));
    EXPECT_EQ(number, 7);  // member 12 still owns slot 4
    ASSERT_TRUE(AssignedNumber(table, 14, &number));
    EXPECT_EQ(number, -3);
}

TEST(Format, ComNameAndFriendlyName) {
    wchar_t out[kTextChars] = {};
    ASSERT_TRUE(FormatComName(out, kTextChars, 4));
    EXPECT_EQ(std::wstring(out), L"COM4");
    ASSERT_TRUE(FormatComName(out, kTextChars, -5));
    EXPECT_EQ(std::wstring(out), L"COM-5");
    ASSERT_TRUE(FormatFriendlyName(out, kTextChars, L"KORAV COM Port", 12));
    EXPECT_EQ(std::wstring(out), L"KORAV COM Port (COM12)");
    wchar_t small[5] = {};
    EXPECT_TRUE(FormatComName(small, 5, 9));
    EXPECT_FALSE(FormatComName(small, 5, 10));
    EXPECT_FALSE(FormatFriendlyName(small, 5, L"KORAV COM Port", 1));
}

}  // namespace
}  // namespace mioutil
