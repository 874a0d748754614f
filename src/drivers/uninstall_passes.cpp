#include "drivers/uninstall_passes.h"

#include "names.h"
#include "platform/platform_class.h"

namespace mioutil {

// A target that is a prefix of another runs first in each view, so the longer
// one meets only entries the shorter could not delete.
const UninstallPass kUninstallPasses[kUninstallPassCount] = {
    {kTargetKrvpci, RegistryView::View32},    {kTargetKrvpcip, RegistryView::View32},
    {kTargetKrvpci, RegistryView::View64},    {kTargetKrvpcip, RegistryView::View64},
    {kTargetKrvcard, RegistryView::View32},   {kTargetKrvport, RegistryView::View32},
    {kTargetKrvcard, RegistryView::View64},   {kTargetKrvport, RegistryView::View64},
    {kTargetMevcard, RegistryView::View32},   {kTargetMevport, RegistryView::View32},
    {kTargetMevcard, RegistryView::View64},   {kTargetMevport, RegistryView::View64},
    {kTargetInstaller, RegistryView::View32}, {kTargetInstaller, RegistryView::View64},
    // The vendor's product path is looked for in the 32-bit view only.
    {kTargetVendorProduct, RegistryView::View32},
};

const wchar_t* const kVendorKeys[kVendorKeyCount] = {
    kVendorSetupKeyPath,
    kVendorProductKeyPath,
    kVendorKeyPath,
};

PassAccess AccessForPass(uint32_t platformClass, RegistryView view) {
    const bool x64 = (platformClass & kPlatformX64) != 0;
    const bool x86 = (platformClass & kPlatformX86) != 0;
    if (view == RegistryView::View64) {
        if (x86) return {false, 0};  // one view only, and the 32-bit passes cover it
        return {true, x64 ? (kKeyAllAccess | kKeyWow64_64Key) : 0u};
    }
    if (x64) return {true, kKeyAllAccess | kKeyWow64_32Key};
    if (x86) return {true, kKeyAllAccess};
    return {true, 0};
}

bool ValueTextContains(const wchar_t* text, size_t capacity, const wchar_t* target) {
    if (text == nullptr || target == nullptr || target[0] == L'\0') return false;
    size_t length = 0;
    while (length < capacity && text[length] != L'\0') ++length;
    size_t targetLength = 0;
    while (target[targetLength] != L'\0') ++targetLength;
    if (targetLength > length) return false;
    for (size_t start = 0; start + targetLength <= length; ++start) {
        size_t i = 0;
        while (i < targetLength && text[start + i] == target[i]) ++i;
        if (i == targetLength) return true;
    }
    return false;
}

}  // namespace mioutil
