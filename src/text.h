// Texts in fixed wide-character buffers: their bounded length, the search for
// a piece of text, and bounded building, where a text either fits whole, with
// its terminating zero, or the buffer is left empty, so that nothing is ever
// cut short into another path or command. Pure: no <windows.h>.
#pragma once

#include <cstddef>

namespace mioutil {

/// Room for a path, a name or a registry text: 260 wide characters with the terminating zero.
inline constexpr size_t kPathChars = 260;

struct TextBuffer {
    wchar_t* data;
    size_t capacity;  // in characters, the terminating zero included
    size_t length;
    bool fits;
};

/// Starts an empty text in `data` (zero-filled over its whole capacity).
void TextStart(TextBuffer& text, wchar_t* data, size_t capacity);

/// Appends `length` characters of `piece`; once something does not fit, the text stays unfit.
void TextAppend(TextBuffer& text, const wchar_t* piece, size_t length);

/// Appends a zero-terminated piece.
void TextAppend(TextBuffer& text, const wchar_t* piece);

/// Whether the whole text fitted; if not, the buffer is zero-filled again.
bool TextFinish(TextBuffer& text);

/// Length of a text that ends at its first zero character or after `units`
/// characters (the end of its buffer), whichever comes first.
size_t TextLength(const wchar_t* data, size_t units);

/// Whether `needle` occurs in `text`, code unit by code unit (case matters).
/// An empty needle never matches.
bool ContainsText(const wchar_t* text, size_t length, const wchar_t* needle, size_t needleLength);

/// Whether `count` characters of `text` are the lower-case ASCII letters of `lower`,
/// letters in either case (the way Windows compares file and value names).
bool SameLettersAnyCase(const wchar_t* text, const char* lower, size_t count);

/// Whether `count` characters of `a` and `b` are the same, ASCII letters in either case
/// (the registry's comparison of key names, for the ASCII names the tool looks for).
bool SameNameAnyCase(const wchar_t* a, const wchar_t* b, size_t count);

}  // namespace mioutil
