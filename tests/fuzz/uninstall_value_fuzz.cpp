// The uninstall-registry match on any value text: each pass's target is found
// exactly where a plain search of the text up to its first zero finds it, and
// nothing past the value's buffer is read.
#include <algorithm>
#include <string>

#include "drivers/uninstall_passes.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    const size_t capacity = in.Left() / 2;
    const WideBuffer text = TakeText(in, capacity);  // a value need not end with a zero
    const std::wstring value(text.get(), std::find(text.get(), text.get() + capacity, L'\0'));
    for (const mioutil::UninstallPass& pass : mioutil::kUninstallPasses) {
        const bool found = mioutil::ValueTextContains(text.get(), capacity, pass.target);
        FUZZ_CHECK(found == (value.find(pass.target) != std::wstring::npos));
    }
    FUZZ_CHECK(!mioutil::ValueTextContains(text.get(), capacity, L""));
    return 0;
}
