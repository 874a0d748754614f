// The provider test over an INF file's raw bytes: the bytes are widened one to one
// up to the first zero byte, into no more than the buffer holds, and each provider
// string is found exactly where a plain byte search finds it.
#include <algorithm>
#include <string>

#include "drivers/inf_text.h"
#include "fuzz_input.h"
#include "names.h"
#include "text.h"

namespace {
// As the INF test reads a file: at most 0xFFFF bytes into a 64 Ki-character text.
constexpr size_t kMaxBytesRead = 0xFFFF;
constexpr size_t kTextCapacity = 65536;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks a small buffer too, to try the widening's bound.
    const size_t smallCapacity = data[0] % 16;
    const unsigned char* bytes = data + 1;
    const size_t count = std::min(size - 1, kMaxBytesRead);

    const size_t untilZero = static_cast<size_t>(std::find(bytes, bytes + count, 0) - bytes);
    const std::string narrow(reinterpret_cast<const char*>(bytes), untilZero);
    for (const size_t capacity : {smallCapacity, kTextCapacity}) {
        const WideBuffer text(new wchar_t[capacity]);
        const size_t length = mioutil::WidenBytes(bytes, count, text.get(), capacity);
        if (capacity == 0) {
            FUZZ_CHECK(length == 0);
            continue;
        }
        FUZZ_CHECK(length == std::min(narrow.size(), capacity - 1) && text[length] == L'\0');
        for (size_t i = 0; i < length; ++i) FUZZ_CHECK(text[i] == static_cast<wchar_t>(bytes[i]));
        if (capacity != kTextCapacity) continue;

        for (const wchar_t* provider : mioutil::kProviderStrings) {
            const std::wstring wide(provider);
            const std::string needle(wide.begin(), wide.end());  // the provider strings are ASCII
            const bool found = mioutil::ContainsText(text.get(), length, provider, wide.size());
            FUZZ_CHECK(found == (narrow.find(needle) != std::string::npos));
        }
    }
    return 0;
}
