#include "drivers/inf_text.h"

namespace mioutil {

size_t WidenBytes(const unsigned char* bytes, size_t count, wchar_t* out, size_t capacity) {
    if (capacity == 0) return 0;
    size_t n = 0;
    while (n < count && n + 1 < capacity && bytes[n] != 0) {
        out[n] = static_cast<wchar_t>(bytes[n]);
        ++n;
    }
    out[n] = L'\0';
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

}  // namespace mioutil
