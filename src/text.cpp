#include "text.h"

namespace mioutil {

namespace {
void Clear(wchar_t* data, size_t capacity) {
    for (size_t i = 0; i < capacity; ++i) data[i] = L'\0';
}
}  // namespace

void TextStart(TextBuffer& text, wchar_t* data, size_t capacity) {
    text.data = data;
    text.capacity = capacity;
    text.length = 0;
    text.fits = capacity > 0;
    Clear(data, capacity);
}

void TextAppend(TextBuffer& text, const wchar_t* piece, size_t length) {
    if (!text.fits) return;
    // One place stays free for the terminating zero.
    if (length >= text.capacity - text.length) {
        text.fits = false;
        return;
    }
    for (size_t i = 0; i < length; ++i) text.data[text.length + i] = piece[i];
    text.length += length;
}

void TextAppend(TextBuffer& text, const wchar_t* piece) {
    TextAppend(text, piece, TextLength(piece, static_cast<size_t>(-1)));
}

bool TextFinish(TextBuffer& text) {
    if (!text.fits) {
        Clear(text.data, text.capacity);
        text.length = 0;
    }
    return text.fits;
}

size_t TextLength(const wchar_t* data, size_t units) {
    size_t n = 0;
    while (n < units && data[n] != L'\0') ++n;
    return n;
}

bool ContainsText(const wchar_t* text, size_t length, const wchar_t* needle, size_t needleLength) {
    if (needleLength == 0 || needleLength > length) return false;
    for (size_t start = 0; start + needleLength <= length; ++start) {
        size_t i = 0;
        while (i < needleLength && text[start + i] == needle[i]) ++i;
        if (i == needleLength) return true;
    }
    return false;
}

bool SameLettersAnyCase(const wchar_t* text, const char* lower, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        wchar_t c = text[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != static_cast<wchar_t>(static_cast<unsigned char>(lower[i]))) return false;
    }
    return true;
}

bool SameNameAnyCase(const wchar_t* a, const wchar_t* b, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        wchar_t x = a[i];
        wchar_t y = b[i];
        if (x >= L'a' && x <= L'z') x = static_cast<wchar_t>(x - L'a' + L'A');
        if (y >= L'a' && y <= L'z') y = static_cast<wchar_t>(y - L'a' + L'A');
        if (x != y) return false;
    }
    return true;
}

}  // namespace mioutil
