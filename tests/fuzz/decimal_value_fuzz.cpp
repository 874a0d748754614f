// The numbers read from "PortName" values and location texts agree with a plain
// reference, read nothing past the given length or buffer, and format back whole.
#include <algorithm>
#include <cctype>
#include <string>

#include "devices/port_table.h"
#include "fuzz_check.h"
#include "names.h"

namespace {

// Blanks as the C locale knows them, an optional sign, ASCII digits; clamped to int32.
int32_t ReferenceValue(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && text[i] < 0x80 && std::isspace(static_cast<int>(text[i]))) ++i;
    int64_t sign = 1;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) sign = text[i++] == L'-' ? -1 : 1;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = std::min<int64_t>(value * 10 + (text[i] - L'0'), int64_t{1} << 40);
    }
    return static_cast<int32_t>(std::clamp<int64_t>(sign * value, INT32_MIN, INT32_MAX));
}

// The text of a buffer up to its first zero, after `skip` characters.
std::wstring After(const wchar_t* text, size_t capacity, size_t skip) {
    const std::wstring whole(text, std::find(text, text + capacity, L'\0'));
    return skip < whole.size() ? whole.substr(skip) : std::wstring();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const size_t prefixLength = in.ConsumeIntegralInRange<size_t>(0, 23);
    const size_t formatCapacity = in.ConsumeIntegralInRange<size_t>(0, 39);
    const std::wstring all = TakeRestWide(in);
    const size_t units = all.size();
    const WideBuffer text = Exactly(all);

    FUZZ_CHECK(mioutil::DecimalValue(text.get(), units) == ReferenceValue(all));
    const int32_t com = mioutil::ComNumberFromPortName(text.get(), units);
    FUZZ_CHECK(com == ReferenceValue(After(text.get(), units, 3)));
    const int32_t location = mioutil::LocationNumber(text.get(), units, prefixLength);
    FUZZ_CHECK(location == ReferenceValue(After(text.get(), units, prefixLength + 1)));

    // What the re-map writes back for any number it read.
    const WideBuffer name = MarkedBuffer(formatCapacity);
    const std::wstring comName = L"COM" + std::to_wstring(com);
    if (mioutil::FormatComName(name.get(), formatCapacity, com)) {
        FUZZ_CHECK(comName.size() < formatCapacity && name.get() == comName);
    } else {
        FUZZ_CHECK(comName.size() >= formatCapacity);
    }
    const WideBuffer friendly = MarkedBuffer(formatCapacity);
    const std::wstring friendlyName = std::wstring(mioutil::kPortNamePrefix) + L" (" + comName + L")";
    if (mioutil::FormatFriendlyName(friendly.get(), formatCapacity, mioutil::kPortNamePrefix, com)) {
        FUZZ_CHECK(friendlyName.size() < formatCapacity && friendly.get() == friendlyName);
    } else {
        FUZZ_CHECK(friendlyName.size() >= formatCapacity);
    }
    return 0;
}
