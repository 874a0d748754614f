// The provider test over an INF file's raw bytes, as InfContainsProvider runs it:
// the skip search over the bytes read finds each provider string exactly where the
// byte-for-character widening and plain search find it, and exactly where a byte
// search up to the first zero byte and the 65,535th byte does. The first input
// byte puts up to 64 KiB of filler before the rest, so that the limit is reached.
#include <algorithm>
#include <string>
#include <vector>

#include "drivers/inf_text.h"
#include "fuzz_input.h"
#include "names.h"
#include "text.h"
#include "widen_bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::vector<unsigned char> read(static_cast<size_t>(data[0]) * 257, ';');
    read.insert(read.end(), data + 1, data + size);
    const size_t count = std::min(read.size(), static_cast<size_t>(mioutil::kInfTextLimit));
    // On the heap with nothing after it, so that AddressSanitizer sees a read past `count`.
    const std::unique_ptr<unsigned char[]> bytes(new unsigned char[count == 0 ? 1 : count]);
    std::copy(read.begin(), read.begin() + count, bytes.get());

    const size_t untilZero = static_cast<size_t>(std::find(bytes.get(), bytes.get() + count, 0) - bytes.get());
    const std::string narrow(reinterpret_cast<const char*>(bytes.get()), untilZero);
    const WideBuffer text(new wchar_t[mioutil::kInfTextLimit + 1]);
    const size_t length = mioutil::WidenBytes(bytes.get(), count, text.get(), mioutil::kInfTextLimit + 1);
    FUZZ_CHECK(length == narrow.size() && text[length] == L'\0');
    for (const wchar_t* provider : mioutil::kProviderStrings) {
        const std::wstring wide(provider);
        const std::string needle(wide.begin(), wide.end());  // the provider strings are ASCII
        const bool found = mioutil::InfTextContains(bytes.get(), count, provider, wide.size());
        FUZZ_CHECK(found == mioutil::ContainsText(text.get(), length, provider, wide.size()));
        FUZZ_CHECK(found == (narrow.find(needle) != std::string::npos));
    }
    return 0;
}
