// The provider test on an INF file's first bytes. Pure: no <windows.h>.
#pragma once

#include <cstddef>

namespace mioutil {

/// Widens bytes one to one (0x00..0xFF become U+0000..U+00FF, no code page) up
/// to the first zero byte or `count` bytes, and terminates the text with a zero.
/// Writes at most `capacity` - 1 characters; returns the text's length.
size_t WidenBytes(const unsigned char* bytes, size_t count, wchar_t* out, size_t capacity);

}  // namespace mioutil
