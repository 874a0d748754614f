// Reads a fuzz input front to back; past its end every read gives 0.
//
// wchar_t is 4 bytes on Linux and 2 on Windows, where the tool runs. Wide text
// is taken as 2 bytes per code unit, little-endian, so every 16-bit value the
// tool can meet occurs (zeros, controls, lone surrogates, U+FFFF) and none it
// cannot (nothing above U+FFFF).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#define FUZZ_CHECK(condition)                                                                 \
    do {                                                                                      \
        if (!(condition)) {                                                                   \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)

struct FuzzInput {
    const uint8_t* data;
    size_t size;
    size_t at = 0;

    size_t Left() const { return size - at; }
    uint8_t Byte() { return at < size ? data[at++] : 0; }
    uint16_t Unit() {
        const uint16_t low = Byte();
        return static_cast<uint16_t>(low | (Byte() << 8));
    }
    uint32_t Word() {
        const uint32_t low = Unit();
        return low | (static_cast<uint32_t>(Unit()) << 16);
    }
};

// A heap buffer of exactly `units` characters, so that AddressSanitizer sees its end.
using WideBuffer = std::unique_ptr<wchar_t[]>;

inline WideBuffer TakeText(FuzzInput& in, size_t units) {
    WideBuffer text(new wchar_t[units]);
    for (size_t i = 0; i < units; ++i) text[i] = static_cast<wchar_t>(in.Unit());
    return text;
}

// A buffer of `capacity` characters filled with a mark, so that "left empty" is seen.
inline WideBuffer MarkedBuffer(size_t capacity) {
    WideBuffer out(new wchar_t[capacity]);
    for (size_t i = 0; i < capacity; ++i) out[i] = L'#';
    return out;
}

// Whether the buffer holds `expected` and its terminating zero (true) or only zeros (false).
inline bool HoldsWholeOrEmpty(const wchar_t* out, size_t capacity, bool built, const std::wstring& expected) {
    if (built) return expected.size() < capacity && expected.compare(0, std::wstring::npos, out, expected.size()) == 0 &&
                      out[expected.size()] == L'\0';
    for (size_t i = 0; i < capacity; ++i) {
        if (out[i] != L'\0') return false;
    }
    return true;
}
