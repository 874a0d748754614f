#include "devices/port_table.h"

#include <cwchar>

#include "text.h"

namespace mioutil {

namespace {

bool IsWhiteSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

// The value of the text after its first `skip` characters; 0 when nothing is left.
int32_t DecimalValueAfter(const wchar_t* text, size_t capacity, size_t skip) {
    const size_t length = TextLength(text, capacity);
    if (length <= skip) return 0;
    return DecimalValue(text + skip, length - skip);
}

}  // namespace

int32_t DecimalValue(const wchar_t* text, size_t length) {
    size_t i = 0;
    while (i < length && IsWhiteSpace(text[i])) ++i;
    bool negative = false;
    if (i < length && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    // The magnitude stops growing just past 2^31, which every clamp below covers.
    const int64_t kCap = int64_t{INT32_MAX} + 2;
    int64_t magnitude = 0;
    for (; i < length && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - L'0');
        if (magnitude > kCap) magnitude = kCap;
    }
    if (negative) return magnitude > -int64_t{INT32_MIN} ? INT32_MIN : static_cast<int32_t>(-magnitude);
    return magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
}

int32_t ComNumberFromPortName(const wchar_t* text, size_t capacity) {
    return DecimalValueAfter(text, capacity, 3);
}

int32_t ExactComNumber(const wchar_t* text, size_t capacity) {
    if (capacity < 4) return 0;
    for (size_t i = 0; i < 3; ++i) {
        if (text[i] != L"COM"[i] && text[i] != L"com"[i]) return 0;
    }
    int32_t number = 0;
    size_t i = 3;
    for (; i < capacity && text[i] >= L'0' && text[i] <= L'9' && number <= 4096; ++i) {
        if (i == 3 && text[i] == L'0') return 0;
        number = number * 10 + static_cast<int32_t>(text[i] - L'0');
    }
    if (i == 3 || (i < capacity && text[i] != L'\0') || number > 4096) return 0;
    return number;
}

int32_t WrittenComNumber(const wchar_t* text, size_t capacity) {
    const size_t length = TextLength(text, capacity);
    if (length < 4 || text[0] != L'C' || text[1] != L'O' || text[2] != L'M') return 0;
    const int32_t number = DecimalValue(text + 3, length - 3);
    wchar_t again[16] = {};
    if (number == 0 || !FormatComName(again, 16, number) || TextLength(again, 16) != length) return 0;
    for (size_t i = 3; i < length; ++i) {
        if (again[i] != text[i]) return 0;
    }
    return number;
}

PortNameRead ReadPortNameText(const wchar_t* text, size_t capacity) {
    return {true, ComNumberFromPortName(text, capacity), ExactComNumber(text, capacity),
            WrittenComNumber(text, capacity)};
}

int32_t LocationNumber(const wchar_t* text, size_t capacity, size_t prefixLength) {
    return DecimalValueAfter(text, capacity, prefixLength + 1);
}

uint32_t PortPosition(uint32_t memberIndex, bool locationRead, int32_t locationNumber, uint32_t* baseIndex) {
    if (!locationRead) return memberIndex;
    if (locationNumber == 1) *baseIndex = memberIndex;
    return static_cast<uint32_t>(locationNumber) + *baseIndex - 1u;
}

bool PlacePort(PortTable* table, uint32_t position, uint32_t memberIndex, int32_t comNumber) {
    if (position >= kPortSlots || comNumber == 0 || table->number[position] != 0) return false;
    for (uint32_t slot = 0; slot < kPortSlots; ++slot) {
        if (table->number[slot] == comNumber) return false;
    }
    table->number[position] = comNumber;
    table->member[position] = memberIndex;
    return true;
}

void LeaveOutNumber(PortTable* table, int32_t comNumber) {
    if (comNumber == 0) return;
    for (uint32_t slot = 0; slot < kPortSlots; ++slot) {
        if (table->number[slot] == comNumber) table->number[slot] = 0;
    }
}

void SortPortNumbers(PortTable* table) {
    // The numbers of the non-empty slots in slot order, sorted among themselves
    // and put back into the same slots: the order 256 exchange passes over the
    // non-empty slots give, in time for the ports there are rather than for 256.
    int32_t numbers[kPortSlots];
    uint32_t count = 0;
    for (uint32_t slot = 0; slot < kPortSlots; ++slot) {
        const int32_t number = table->number[slot];
        if (number == 0) continue;
        uint32_t at = count++;
        for (; at > 0 && static_cast<uint32_t>(numbers[at - 1]) > static_cast<uint32_t>(number); --at) {
            numbers[at] = numbers[at - 1];
        }
        numbers[at] = number;
    }
    for (uint32_t slot = 0, next = 0; slot < kPortSlots; ++slot) {
        if (table->number[slot] != 0) table->number[slot] = numbers[next++];
    }
}

bool AssignedNumber(const PortTable& table, uint32_t memberIndex, int32_t* number) {
    for (uint32_t slot = 0; slot < kPortSlots; ++slot) {
        if (table.number[slot] != 0 && table.member[slot] == memberIndex) {
            *number = table.number[slot];
            return true;
        }
    }
    return false;
}

bool FormatComName(wchar_t* out, size_t capacity, int32_t number) {
    const int written = std::swprintf(out, capacity, L"COM%d", static_cast<int>(number));
    return written >= 0 && static_cast<size_t>(written) < capacity;
}

bool FormatFriendlyName(wchar_t* out, size_t capacity, const wchar_t* prefix, int32_t number) {
    const int written = std::swprintf(out, capacity, L"%ls (COM%d)", prefix, static_cast<int>(number));
    return written >= 0 && static_cast<size_t>(written) < capacity;
}

}  // namespace mioutil
