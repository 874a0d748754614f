// The import names of any file's bytes: never a read past them, and every name
// taken whole, zero-ended, a plain printable file name.
#include <cstring>
#include <memory>

#include "fuzz_check.h"
#include "platform/pe_imports.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<unsigned char[]> file(new unsigned char[size]);  // exactly the bytes: ASan sees a read past them
    if (size > 0) std::memcpy(file.get(), data, size);
    mioutil::PeImports imports;
    const mioutil::PeImportsStatus status = mioutil::ReadPeImports(file.get(), size, imports);
    FUZZ_CHECK(imports.count <= mioutil::kMaxPeImports);
    if (status != mioutil::PeImportsStatus::kRead) return 0;
    for (size_t i = 0; i < imports.count; ++i) {
        const size_t at = imports.names[i].offset;
        const size_t length = imports.names[i].length;
        FUZZ_CHECK(length >= 1 && length <= mioutil::kMaxPeImportNameChars && at < size && length < size - at);
        FUZZ_CHECK(file[at + length] == 0);
        for (size_t b = 0; b < length; ++b) {
            const unsigned char c = file[at + b];
            FUZZ_CHECK(c >= 0x20 && c <= 0x7E && c != '\\' && c != '/' && c != ':');
        }
    }
    return 0;
}
