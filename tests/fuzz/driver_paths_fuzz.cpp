// The INF, PNF and sibling paths for any pieces and buffer size: whole, or an
// empty buffer; never written past it.
#include <string>

#include "drivers/driver_paths.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const size_t capacity = in.ConsumeIntegralInRange<size_t>(0, 299);
    const std::wstring folder = TakeWide(in, in.ConsumeIntegral<uint8_t>());
    const std::wstring name = TakeRestWide(in);
    const size_t firstLength = folder.size();
    const size_t secondLength = name.size();
    const WideBuffer first = Exactly(folder);
    const WideBuffer second = Exactly(name);

    {
        const WideBuffer out = MarkedBuffer(capacity);
        const bool built = mioutil::JoinPath(first.get(), firstLength, second.get(), secondLength, out.get(), capacity);
        const std::wstring expected = folder + L"\\" + name;
        FUZZ_CHECK(built == (expected.size() < capacity));
        FUZZ_CHECK(HoldsWholeOrEmpty(out.get(), capacity, built, expected));
    }
    {
        const WideBuffer out = MarkedBuffer(capacity);
        const bool built = mioutil::PnfPathOf(first.get(), firstLength, out.get(), capacity);
        const std::wstring expected = firstLength < 4 ? std::wstring() : folder.substr(0, firstLength - 4) + L".pnf";
        FUZZ_CHECK(built == (firstLength >= 4 && expected.size() < capacity));
        FUZZ_CHECK(HoldsWholeOrEmpty(out.get(), capacity, built, expected));
    }
    {
        const WideBuffer out = MarkedBuffer(capacity);
        const bool built =
            mioutil::SiblingPath(first.get(), firstLength, second.get(), secondLength, out.get(), capacity);
        const size_t slash = folder.rfind(L'\\');
        const std::wstring expected = slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1) + name;
        FUZZ_CHECK(built == (slash != std::wstring::npos && expected.size() < capacity));
        FUZZ_CHECK(HoldsWholeOrEmpty(out.get(), capacity, built, expected));
    }
    return 0;
}
