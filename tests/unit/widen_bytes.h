// The plain widening the provider search must answer as: the tests' reference.
#pragma once

#include <cstddef>

namespace mioutil {

/// Widens bytes one to one (0x00..0xFF become U+0000..U+00FF, no code page) up
/// to the first zero byte or `count` bytes, and terminates the text with a zero.
/// Writes at most `capacity` - 1 characters; returns the text's length.
inline size_t WidenBytes(const unsigned char* bytes, size_t count, wchar_t* out, size_t capacity) {
    if (capacity == 0) return 0;
    size_t n = 0;
    while (n < count && n + 1 < capacity && bytes[n] != 0) {
        out[n] = static_cast<wchar_t>(bytes[n]);
        ++n;
    }
    out[n] = L'\0';
    return n;
}

}  // namespace mioutil
