#include "drivers/inf_text.h"

#include <cstring>

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

bool InfTextContains(const unsigned char* bytes, size_t count, const wchar_t* provider, size_t providerLength) {
    if (providerLength == 0) return false;
    // A character that no byte widens to cannot occur in the text.
    for (size_t i = 0; i < providerLength; ++i) {
        if (static_cast<unsigned long>(provider[i]) > 0xFF) return false;
    }
    size_t length = count < kInfTextLimit ? count : kInfTextLimit;
    if (providerLength > length) return false;
    const void* zero = std::memchr(bytes, 0, length);
    if (zero != nullptr) length = static_cast<size_t>(static_cast<const unsigned char*>(zero) - bytes);
    if (providerLength > length) return false;

    // Horspool: after a mismatch the window moves on by how far the byte under its
    // last place stands from the provider's end (the whole length when not in it).
    const size_t last = providerLength - 1;
    size_t shift[256];
    for (size_t& s : shift) s = providerLength;
    for (size_t i = 0; i < last; ++i) shift[static_cast<unsigned char>(provider[i])] = last - i;
    for (size_t start = 0; start + providerLength <= length; start += shift[bytes[start + last]]) {
        if (bytes[start + last] != static_cast<unsigned long>(provider[last])) continue;
        size_t i = 0;
        while (i < last && bytes[start + i] == static_cast<unsigned long>(provider[i])) ++i;
        if (i == last) return true;
    }
    return false;
}

}  // namespace mioutil
