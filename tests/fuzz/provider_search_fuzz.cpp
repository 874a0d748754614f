// The provider test over an INF file's raw bytes, as InfContainsProvider runs it:
// the skip search over the bytes read finds each provider string, and any needle
// cut from the text or made up, exactly where the byte-for-character widening and
// plain search find it; and a provider string exactly where a byte search up to
// the first zero byte and the 65,535th byte does. Up to 64 KiB of filler go before
// the bytes, so that the limit is reached.
#include <algorithm>
#include <string>
#include <vector>

#include "drivers/inf_text.h"
#include "fuzz_check.h"
#include "names.h"
#include "text.h"
#include "widen_bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<unsigned char> read(in.ConsumeIntegral<uint8_t>() * size_t{257}, ';');
    const bool cut = in.ConsumeBool();
    const size_t cutAt = in.ConsumeIntegral<uint16_t>();
    const size_t needleLength = in.ConsumeIntegralInRange<size_t>(1, 8);
    const std::wstring madeUp = TakeWide(in, needleLength);
    const std::vector<unsigned char> rest = in.ConsumeRemainingBytes<unsigned char>();
    read.insert(read.end(), rest.begin(), rest.end());
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
    const std::wstring widened(text.get(), length);
    const std::wstring needle = cut ? widened.substr(std::min(cutAt, length), needleLength) : madeUp;
    if (needle.empty()) return 0;
    const bool found = mioutil::InfTextContains(bytes.get(), count, needle.data(), needle.size());
    FUZZ_CHECK(found == mioutil::ContainsText(text.get(), length, needle.data(), needle.size()));
    return 0;
}
