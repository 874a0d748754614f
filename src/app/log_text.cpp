#include "app/log_text.h"

#include "text.h"

namespace mioutil {

namespace {

constexpr unsigned long kReplacement = 0xFFFD;

// The code point at text[i], and how many code units it takes.
unsigned long CodePointAt(const wchar_t* text, size_t length, size_t i, size_t* units) {
    const unsigned long c = static_cast<unsigned long>(text[i]) & 0xFFFFu;
    *units = 1;
    if (c < 0x20 || c == 0x7F) return kReplacement;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length) {
        const unsigned long low = static_cast<unsigned long>(text[i + 1]) & 0xFFFFu;
        if (low >= 0xDC00 && low <= 0xDFFF) {
            *units = 2;
            return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    if (c >= 0xD800 && c <= 0xDFFF) return kReplacement;
    return c;
}

size_t Utf8(unsigned long c, unsigned char* out) {
    if (c < 0x80) {
        out[0] = static_cast<unsigned char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
        out[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
    out[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 4;
}

}  // namespace

void MarkLogLineCut(wchar_t* line, size_t capacity) {
    const size_t markLength = TextLength(kLogCutMark, kLogLineChars);
    if (capacity <= markLength) return;
    const size_t at = capacity - 1 - markLength;
    for (size_t i = 0; i < markLength; ++i) line[at + i] = kLogCutMark[i];
    line[capacity - 1] = L'\0';
}

size_t EncodeLogLine(const wchar_t* text, size_t length, unsigned char* out, size_t capacity) {
    if (capacity < 2) return 0;
    const size_t room = capacity - 2;  // CR LF always fit
    size_t n = 0;
    for (size_t i = 0; i < length;) {
        size_t units = 1;
        unsigned char bytes[4];
        const size_t count = Utf8(CodePointAt(text, length, i, &units), bytes);
        if (count > room - n) break;
        for (size_t b = 0; b < count; ++b) out[n++] = bytes[b];
        i += units;
    }
    out[n++] = '\r';
    out[n++] = '\n';
    return n;
}

}  // namespace mioutil
