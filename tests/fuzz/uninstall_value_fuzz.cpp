// The uninstall-registry match on any value text: each pass's target is found
// exactly where a plain search of the text up to its first zero finds it, and
// nothing past the value's buffer is read.
#include <string>

#include "drivers/uninstall_passes.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::wstring whole = TakeRestWide(in);
    const size_t capacity = whole.size();
    const WideBuffer text = Exactly(whole);  // a value need not end with a zero
    const std::wstring value = whole.substr(0, whole.find(L'\0'));
    for (const mioutil::UninstallPass& pass : mioutil::kUninstallPasses) {
        const bool found = mioutil::ValueTextContains(text.get(), capacity, pass.target);
        FUZZ_CHECK(found == (value.find(pass.target) != std::wstring::npos));
    }
    FUZZ_CHECK(!mioutil::ValueTextContains(text.get(), capacity, L""));
    return 0;
}
