#include "platform/pe_imports.h"

#include <cstdint>

namespace mioutil {

namespace {

constexpr size_t kSectionBytes = 40;
constexpr size_t kImportDescriptorBytes = 20;
constexpr size_t kDelayDescriptorBytes = 32;
constexpr uint32_t kImportDirectory = 1;
constexpr uint32_t kDelayImportDirectory = 13;

struct Image {
    const unsigned char* file;
    size_t size;
    size_t sections;  // offset of the section table
    size_t sectionCount;

    bool Has(size_t at, size_t bytes) const { return at <= size && bytes <= size - at; }
    uint32_t U16(size_t at) const { return file[at] | static_cast<uint32_t>(file[at + 1]) << 8; }
    uint32_t U32(size_t at) const { return U16(at) | U16(at + 2) << 16; }

    // The file offset of `rva`, where its section maps at least `bytes` from the file
    // there, and how many it maps in all from there; false where no section does.
    bool Offset(uint32_t rva, size_t bytes, size_t* offset, size_t* mapped) const {
        for (size_t i = 0; i < sectionCount; ++i) {
            const size_t s = sections + i * kSectionBytes;
            const uint32_t virtualSize = U32(s + 8), address = U32(s + 12), rawSize = U32(s + 16), raw = U32(s + 20);
            // The loader maps from the file no more than the section's virtual size.
            const uint32_t fromFile = virtualSize != 0 && virtualSize < rawSize ? virtualSize : rawSize;
            if (rva < address || rva - address >= fromFile) continue;
            const size_t into = rva - address;
            *mapped = fromFile - into;
            *offset = static_cast<size_t>(raw) + into;
            if (!Has(*offset, *mapped)) *mapped = *offset <= size ? size - *offset : 0;
            return *mapped >= bytes;
        }
        return false;
    }
};

PeImportsStatus AddName(const Image& image, uint32_t rva, PeImports& out) {
    size_t at = 0;
    size_t mapped = 0;
    if (!image.Offset(rva, 1, &at, &mapped)) return PeImportsStatus::kDamaged;
    size_t length = 0;
    for (;; ++length) {
        if (length == mapped) return PeImportsStatus::kDamaged;
        const unsigned char c = image.file[at + length];
        if (c == 0) break;
        // A path would reach outside System32; anything else is no name a DLL has.
        if (length == kMaxPeImportNameChars || c < 0x20 || c > 0x7E || c == '\\' || c == '/' || c == ':') {
            return PeImportsStatus::kOddName;
        }
    }
    if (length == 0) return PeImportsStatus::kOddName;
    if (out.count == kMaxPeImports) return PeImportsStatus::kTooMany;
    out.names[out.count].offset = at;
    out.names[out.count].length = length;
    ++out.count;
    return PeImportsStatus::kRead;
}

// One table of descriptors, `bytes` each, the name's RVA at `nameAt`, ending with one
// whose name is 0 (the loader stops there, or earlier). `check` refuses a descriptor.
template <typename Check>
PeImportsStatus AddTable(const Image& image, uint32_t rva, size_t bytes, size_t nameAt, Check check, PeImports& out) {
    if (rva == 0) return PeImportsStatus::kRead;
    for (size_t n = 0;; ++n) {
        if (n > kMaxPeImports) return PeImportsStatus::kTooMany;
        const uint64_t descriptor = rva + static_cast<uint64_t>(n) * bytes;
        size_t at = 0;
        size_t mapped = 0;
        if (descriptor > UINT32_MAX || !image.Offset(static_cast<uint32_t>(descriptor), bytes, &at, &mapped)) {
            return PeImportsStatus::kDamaged;
        }
        const uint32_t name = image.U32(at + nameAt);
        if (name == 0) return PeImportsStatus::kRead;
        if (!check(at)) return PeImportsStatus::kDamaged;
        const PeImportsStatus status = AddName(image, name, out);
        if (status != PeImportsStatus::kRead) return status;
    }
}

}  // namespace

PeImportsStatus ReadPeImports(const unsigned char* file, size_t size, PeImports& out) {
    out.count = 0;
    Image image = {file, size, 0, 0};
    if (!image.Has(0, 64) || file[0] != 'M' || file[1] != 'Z') return PeImportsStatus::kNotPe32Plus;
    const size_t pe = image.U32(60);
    if (!image.Has(pe, 24 + 112) || image.U32(pe) != 0x00004550) return PeImportsStatus::kNotPe32Plus;
    const size_t optional = pe + 24;
    const size_t optionalBytes = image.U16(pe + 20);
    if (image.U16(optional) != 0x20B || optionalBytes < 112) return PeImportsStatus::kNotPe32Plus;
    image.sections = optional + optionalBytes;
    image.sectionCount = image.U16(pe + 6);
    if (!image.Has(image.sections, image.sectionCount * kSectionBytes)) return PeImportsStatus::kDamaged;

    // A directory past the count of directories, or the optional header, is not there.
    const uint32_t directories = image.U32(optional + 108);
    auto directory = [&](uint32_t index) -> uint32_t {
        const size_t at = optional + 112 + index * 8;
        return index < directories && at + 8 <= image.sections ? image.U32(at) : 0;
    };
    const PeImportsStatus loadTime = AddTable(image, directory(kImportDirectory), kImportDescriptorBytes, 12,
                                              [](size_t) { return true; }, out);
    if (loadTime != PeImportsStatus::kRead) return loadTime;
    // Only the RVA-based form (attribute bit 0), the one every 64-bit linker writes.
    return AddTable(image, directory(kDelayImportDirectory), kDelayDescriptorBytes, 4,
                    [&](size_t at) { return (image.U32(at) & 1) != 0; }, out);
}

}  // namespace mioutil
