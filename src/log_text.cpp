#include "log_text.h"

#include <cwchar>

#include "text.h"

namespace mioutil {

namespace {

constexpr unsigned long kReplacement = 0xFFFD;

// Unicode's format characters (general category Cf, as of Unicode 15.0, and the
// whole tag block): invisible, they would make a renamed value read as unchanged,
// and the bidirectional ones among them would reorder what a reader sees.
struct CodeRange {
    unsigned long first, last;
};
constexpr CodeRange kFormatCharacters[] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
    {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},   {0x200B, 0x200F},   {0x202A, 0x202E},
    {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
    {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE007F},
};

// Characters that would break a line or hide from a reader: C0 and C1 controls,
// the line and paragraph separators, and the format characters.
bool Hides(unsigned long c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029) return true;
    for (const CodeRange& r : kFormatCharacters) {
        if (c >= r.first && c <= r.last) return true;
    }
    return false;
}

// The code point at text[i], and how many code units it takes.
unsigned long CodePointAt(const wchar_t* text, size_t length, size_t i, size_t* units) {
    unsigned long c = static_cast<unsigned long>(text[i]) & 0xFFFFu;
    *units = 1;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length) {
        const unsigned long low = static_cast<unsigned long>(text[i + 1]) & 0xFFFFu;
        if (low >= 0xDC00 && low <= 0xDFFF) {
            *units = 2;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    if ((c >= 0xD800 && c <= 0xDFFF) || Hides(c)) return kReplacement;
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

size_t ScrubText(const wchar_t* text, size_t length, wchar_t* out, size_t capacity) {
    if (capacity == 0) return 0;
    size_t n = 0;
    for (size_t i = 0; i < length;) {
        size_t units = 1;
        const unsigned long c = CodePointAt(text, length, i, &units);
        const size_t width = c == kReplacement ? 1 : units;
        if (n + width >= capacity) break;
        if (c == kReplacement) {
            out[n++] = static_cast<wchar_t>(kReplacement);
        } else {
            for (size_t u = 0; u < units; ++u) out[n++] = text[i + u];
        }
        i += units;
    }
    out[n] = L'\0';
    return n;
}

void FormatLogLine(wchar_t* line, const wchar_t* format, va_list args) {
    const int written = std::vswprintf(line, kLogLineChars, format, args);
    if (written < 0 || static_cast<size_t>(written) >= kLogLineChars) MarkLogLineCut(line, kLogLineChars);
}

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

const wchar_t* LogQuoted(const wchar_t* text, size_t length, size_t maxChars, wchar_t* out, size_t capacity) {
    if (capacity < LogQuotedCapacity(0)) {
        if (capacity > 0) out[0] = L'\0';
        return out;
    }
    if (capacity < LogQuotedCapacity(maxChars)) maxChars = capacity - LogQuotedCapacity(0);
    size_t n = 0;
    out[n++] = L'"';
    size_t i = 0;
    size_t shown = 0;
    while (i < length) {
        const wchar_t c = text[i];
        const bool pair =
            c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        const size_t width = c == L'"' || pair ? 2 : 1;
        if (shown + width > maxChars) break;
        out[n++] = c;
        if (c == L'"') out[n++] = L'"';
        if (pair) out[n++] = text[i + 1];
        shown += width;
        i += pair ? 2 : 1;
    }
    out[n++] = L'"';
    if (i < length) {
        for (const wchar_t* m = L"\u2026[+"; *m != L'\0'; ++m) out[n++] = *m;
        wchar_t digits[20];
        size_t count = 0;
        for (size_t left = length - i; left > 0; left /= 10) digits[count++] = static_cast<wchar_t>(L'0' + left % 10);
        while (count > 0) out[n++] = digits[--count];
        for (const wchar_t* m = L" chars]"; *m != L'\0'; ++m) out[n++] = *m;
    }
    out[n] = L'\0';
    return out;
}

const wchar_t* LogQuoted(const wchar_t* text, size_t maxChars, wchar_t* out, size_t capacity) {
    return LogQuoted(text, text == nullptr ? 0 : TextLength(text, 32767), maxChars, out, capacity);
}

void ShortenLogText(wchar_t* text, size_t maxChars) {
    if (maxChars == 0) {
        text[0] = L'\0';
        return;
    }
    if (TextLength(text, maxChars + 1) <= maxChars) return;
    size_t at = maxChars - 1;
    if (at > 0 && text[at - 1] >= 0xD800 && text[at - 1] <= 0xDBFF) --at;  // keep a pair whole
    text[at] = L'\u2026';
    text[at + 1] = L'\0';
}

}  // namespace mioutil
