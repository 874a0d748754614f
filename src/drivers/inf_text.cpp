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

}  // namespace mioutil
