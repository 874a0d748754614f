#include "drivers/inf_text.h"

namespace mioutil {

bool InfTextContains(const unsigned char* bytes, size_t count, const wchar_t* provider, size_t providerLength) {
    if (providerLength == 0) return false;
    // No byte widens to a character above U+00FF, and the text ends before any zero.
    for (size_t i = 0; i < providerLength; ++i) {
        if (provider[i] == 0 || static_cast<unsigned long>(provider[i]) > 0xFF) return false;
    }
    const size_t length = count < kInfTextLimit ? count : kInfTextLimit;
    if (providerLength > length) return false;

    // Horspool: after a mismatch the window moves on by how far the byte under its
    // last place stands from the provider's end (the whole length when not in it).
    // The text's end at the first zero byte is not looked for up front: a zero under
    // the window's last place ends the search, and one before a match voids it.
    const size_t last = providerLength - 1;
    const unsigned lastChar = static_cast<unsigned>(provider[last]);
    const unsigned firstChar = static_cast<unsigned>(provider[0]);
    size_t shift[256];
    for (size_t& s : shift) s = providerLength;
    for (size_t i = 0; i < last; ++i) shift[provider[i]] = last - i;
    for (size_t start = 0; start + providerLength <= length;) {
        const unsigned c = bytes[start + last];
        if ((c == lastChar) & (bytes[start] == firstChar)) {
            size_t i = 1;
            while (i < last && bytes[start + i] == static_cast<unsigned>(provider[i])) ++i;
            if (i >= last) {
                for (size_t k = 0; k < start; ++k) {
                    if (bytes[k] == 0) return false;
                }
                return true;
            }
        }
        if (c == 0) return false;
        start += shift[c];
    }
    return false;
}

}  // namespace mioutil
