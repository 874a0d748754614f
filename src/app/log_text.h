// Lines of the run log as bytes: UTF-8 with CR LF, readable in Notepad on every
// Windows the tool supports. Pure: no <windows.h>.
#pragma once

#include <cstddef>

namespace mioutil {

/// Room for one line of the run log, its terminating zero included.
inline constexpr size_t kLogLineChars = 512;

/// What ends a line that was too long for its buffer.
inline constexpr const wchar_t* kLogCutMark = L" [...cut]";

/// Ends a line that did not fit in `capacity` characters with the cut mark.
void MarkLogLineCut(wchar_t* line, size_t capacity);

/// The UTF-8 bytes of the UTF-16 text[0, length) and CR LF. Control characters
/// (a value may hold a line feed that would forge a line) and unpaired surrogates
/// become U+FFFD. Writes at most `capacity` bytes, never part of a character,
/// and always ends with CR LF when capacity allows 2 bytes; returns the count.
size_t EncodeLogLine(const wchar_t* text, size_t length, unsigned char* out, size_t capacity);

}  // namespace mioutil
