#include "drivers/uninstall_passes.h"

#include "names.h"
#include "platform/platform_class.h"
#include "text.h"

namespace mioutil {

// A target that is a prefix of another comes first in each view, so the longer
// one is tried only on entries the shorter does not name.
const UninstallPass kUninstallPasses[kUninstallPassCount] = {
    {kTargetKrvpci, RegistryView::kView32},    {kTargetKrvpcip, RegistryView::kView32},
    {kTargetKrvpci, RegistryView::kView64},    {kTargetKrvpcip, RegistryView::kView64},
    {kTargetKrvcard, RegistryView::kView32},   {kTargetKrvport, RegistryView::kView32},
    {kTargetKrvcard, RegistryView::kView64},   {kTargetKrvport, RegistryView::kView64},
    {kTargetMevcard, RegistryView::kView32},   {kTargetMevport, RegistryView::kView32},
    {kTargetMevcard, RegistryView::kView64},   {kTargetMevport, RegistryView::kView64},
    {kTargetInstaller, RegistryView::kView32}, {kTargetInstaller, RegistryView::kView64},
    // The vendor's product path is looked for in the 32-bit view only.
    {kTargetVendorProduct, RegistryView::kView32},
};

const wchar_t* CardPackageTarget(const wchar_t* text, size_t capacity, RegistryView view) {
    for (const UninstallPass& pass : kUninstallPasses) {
        if (pass.view == view && ValueTextContains(text, capacity, pass.target)) return pass.target;
    }
    return nullptr;
}

const wchar_t* const kVendorKeys[kVendorKeyCount] = {
    kVendorSetupKeyPath,
    kVendorProductKeyPath,
    kVendorKeyPath,
};

PassAccess AccessForPass(uint32_t platformClass, RegistryView view) {
    const bool x64 = (platformClass & kPlatformX64) != 0;
    const bool x86 = (platformClass & kPlatformX86) != 0;
    if (view == RegistryView::kView64) {
        if (x86) return {false, 0};  // one view only, and the 32-bit passes cover it
        return {true, x64 ? (kKeyAllAccess | kKeyWow64_64Key) : 0u};
    }
    if (x64) return {true, kKeyAllAccess | kKeyWow64_32Key};
    if (x86) return {true, kKeyAllAccess};
    return {true, 0};
}

uint32_t ReadOnlyAccess(uint32_t accessMask) {
    if (accessMask == 0) return 0;
    return kKeyRead | (accessMask & (kKeyWow64_32Key | kKeyWow64_64Key));
}

bool ValueTextContains(const wchar_t* text, size_t capacity, const wchar_t* target) {
    if (text == nullptr || target == nullptr) return false;
    return ContainsText(text, TextLength(text, capacity), target, TextLength(target, static_cast<size_t>(-1)));
}

bool KeepsRecordedPackagesEntry(const wchar_t* name, size_t length, uint32_t accessMask, bool recordRefused) {
    // The tool is a 64-bit program: without the 32-bit flag a key opens in the 64-bit view.
    if (!recordRefused || name == nullptr || (accessMask & kKeyWow64_32Key) != 0) return false;
    return length == TextLength(kCardUninstallEntry, kPathChars) && SameNameAnyCase(name, kCardUninstallEntry, length);
}

bool IsVendorKeyBefore(size_t index, const wchar_t* name, size_t length) {
    if (index == 0 || index >= kVendorKeyCount || name == nullptr) return false;
    const wchar_t* key = kVendorKeys[index];
    const wchar_t* before = kVendorKeys[index - 1];
    const size_t keyLength = TextLength(key, kPathChars);
    return TextLength(before, kPathChars) == keyLength + 1 + length && SameNameAnyCase(before, key, keyLength) &&
           before[keyLength] == L'\\' && SameNameAnyCase(before + keyLength + 1, name, length);
}

}  // namespace mioutil
