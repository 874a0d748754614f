// The DLLs a 64-bit PE image imports, read from the bytes of its file: its load-time
// imports and its delay-loaded ones, each of which the loader (or the delay-load
// helper, at the first call) looks for by name. Where the system cannot keep a DLL's
// imports to System32, the tool loads each of these from System32 by full path first.
// Pure: no <windows.h>. Every read is bounded by the bytes given; a file that is not
// laid out as the loader expects is refused, never read in part.
#pragma once

#include <cstddef>

namespace mioutil {

inline constexpr size_t kMaxPeImports = 64;
/// Longest import name taken, its terminating zero not counted.
inline constexpr size_t kMaxPeImportNameChars = 128;

struct PeImports {
    size_t count;
    struct {
        size_t offset;  // of the name's first byte in the file
        size_t length;  // bytes, without the terminating zero
    } names[kMaxPeImports];
};

enum class PeImportsStatus {
    kRead,
    kNotPe32Plus,  // no MZ and PE header, or not a PE32+ optional header
    kDamaged,      // a table or name that is not whole in the bytes a section maps from the file
    kTooMany,      // more than kMaxPeImports
    kOddName,      // a name that is no plain file name: empty, too long, a path, or not printable ASCII
};

/// The names of the DLLs that the image in file[0, size) imports, load-time ones first,
/// in the order of its tables (a DLL named in both is named twice).
PeImportsStatus ReadPeImports(const unsigned char* file, size_t size, PeImports& out);

}  // namespace mioutil
