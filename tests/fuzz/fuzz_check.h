// What the fuzz targets share: a check that holds in release builds, and wide
// text taken from a FuzzedDataProvider.
//
// wchar_t is 4 bytes on Linux and 2 on Windows, where the tool runs. Wide text
// is taken as 2 bytes per code unit, little-endian, so every 16-bit value the
// tool can meet occurs (zeros, controls, lone surrogates, U+FFFF) and none it
// cannot (nothing above U+FFFF).
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#define FUZZ_CHECK(condition)                                                                 \
    do {                                                                                      \
        if (!(condition)) {                                                                   \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)

/// Up to `units` code units from the front of the input; fewer where it ends.
inline std::wstring TakeWide(FuzzedDataProvider& in, size_t units) {
    const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(units * 2);
    std::wstring text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) text.push_back(static_cast<wchar_t>(bytes[i] | bytes[i + 1] << 8));
    return text;
}

inline std::wstring TakeRestWide(FuzzedDataProvider& in) { return TakeWide(in, in.remaining_bytes() / 2); }

/// A heap buffer of exactly the text's characters, no zero after them, so that
/// AddressSanitizer sees a read past its end.
using WideBuffer = std::unique_ptr<wchar_t[]>;
inline WideBuffer Exactly(const std::wstring& text) {
    WideBuffer buffer(new wchar_t[text.size()]);
    text.copy(buffer.get(), text.size());
    return buffer;
}

/// A buffer of `capacity` characters filled with a mark, so that "left empty" is seen.
inline WideBuffer MarkedBuffer(size_t capacity) { return Exactly(std::wstring(capacity, L'#')); }

/// Whether the buffer holds `expected` and its terminating zero (true) or only zeros (false).
inline bool HoldsWholeOrEmpty(const wchar_t* out, size_t capacity, bool built, const std::wstring& expected) {
    if (built) return expected.size() < capacity && expected.compare(0, std::wstring::npos, out, expected.size()) == 0 &&
                      out[expected.size()] == L'\0';
    for (size_t i = 0; i < capacity; ++i) {
        if (out[i] != L'\0') return false;
    }
    return true;
}
