// Bounded building of texts in fixed wide-character buffers: a text either fits
// whole, with its terminating zero, or the buffer is left empty. Nothing is ever
// cut short into another path or command.
#pragma once

#include <cstddef>

namespace mioutil {

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

/// Length of a text that ends at its first zero character or after `units` characters.
size_t TextLength(const wchar_t* data, size_t units);

}  // namespace mioutil
