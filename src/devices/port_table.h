// The decisions of the COM port re-map that need no system call: numbers read
// from texts, port positions in card order, the 256-slot table and its sort.
// Pure header: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mioutil {

inline constexpr uint32_t kPortSlots = 256;  // positions 0 to 255 in card order
inline constexpr size_t kTextChars = 256;    // every text buffer of the device operations

/// Decimal value of text[0, length): leading white space, an optional sign, then
/// digits up to the first other character; 0 without digits; clamped to the
/// 32-bit signed range.
int32_t DecimalValue(const wchar_t* text, size_t length);

/// COM number of a "PortName" text in a buffer of `capacity` characters: the
/// decimal value after its first three characters, whatever those are.
int32_t ComNumberFromPortName(const wchar_t* text, size_t capacity);

/// The number of a text that is exactly a COM name, "COM" in any case and a
/// number from 1 to 4096 without leading zeros (as the database hands them
/// out); 0 for any other text (LPT2, COM02, COM2:).
int32_t ExactComNumber(const wchar_t* text, size_t capacity);

/// The number of a text that is exactly what FormatComName writes for it
/// ("COM" in capitals, a minus sign where it is negative, digits without leading
/// zeros): any number but 0; 0 for any other text.
int32_t WrittenComNumber(const wchar_t* text, size_t capacity);

/// What a "PortName" text says: the number it reads as (ComNumberFromPortName),
/// where it is exactly a COM name, that number (ExactComNumber), and where it is
/// the text the re-map writes for a number, that number (WrittenComNumber).
struct PortNameRead {
    bool readable;  // false: no "PortName" could be read; the numbers are 0
    int32_t number;
    int32_t exact;
    int32_t written;
};
PortNameRead ReadPortNameText(const wchar_t* text, size_t capacity);

/// Location number of a location text in a buffer of `capacity` characters: the
/// decimal value after its first prefixLength + 1 characters (the name prefix and a blank).
int32_t LocationNumber(const wchar_t* text, size_t capacity, size_t prefixLength);

/// Position in card order of the member at memberIndex. Without location
/// information the position is the member index; otherwise location number +
/// base index - 1 (unsigned, so it may wrap), where a member with location
/// number 1 first makes itself the base index (the first port of its card).
uint32_t PortPosition(uint32_t memberIndex, bool locationRead, int32_t locationNumber, uint32_t* baseIndex);

/// What pass 1 collected. A zero-filled table is empty. A slot holds a number
/// only together with the member placed there, so pass 2 hands each sorted
/// number to a member that gave one, and to no other.
struct PortTable {
    int32_t number[kPortSlots];   // COM number at each position; 0 marks an empty slot
    uint32_t member[kPortSlots];  // member index that owns the slot while its number is not 0
};

/// Places a member's number at its position. Leaves the member out (returns
/// false) when the position has no slot, when the number is 0, when an earlier
/// member already holds the slot (a later one must not overwrite it, or one COM
/// number would vanish and another be handed out twice), or when an earlier
/// member already placed the same number (COM5 and LPT5 both hold 5).
bool PlacePort(PortTable* table, uint32_t position, uint32_t memberIndex, int32_t comNumber);

/// A number that a member left out of the table also holds is not handed out:
/// its placed holder is left out too, so that no port ends with the COM name
/// another port keeps.
void LeaveOutNumber(PortTable* table, int32_t comNumber);

/// Puts the numbers of the non-empty slots into ascending order, compared as
/// unsigned values (a negative number sorts after every positive one). Empty
/// slots and the owners of the slots stay where they are.
void SortPortNumbers(PortTable* table);

/// The number pass 2 gives a member: the one now in the slot pass 1 placed it
/// in. False for a member pass 1 did not place.
bool AssignedNumber(const PortTable& table, uint32_t memberIndex, int32_t* number);

/// "COM%d" and "%s (COM%d)" into a buffer of `capacity` characters; false when
/// the text does not fit.
bool FormatComName(wchar_t* out, size_t capacity, int32_t number);
bool FormatFriendlyName(wchar_t* out, size_t capacity, const wchar_t* prefix, int32_t number);

}  // namespace mioutil
