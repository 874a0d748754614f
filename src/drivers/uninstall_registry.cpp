#include "drivers/uninstall_registry.h"

#include <windows.h>

#include "names.h"
#include "platform/platform_probe.h"
#include "platform/unique_handle.h"

namespace mioutil {

namespace {
constexpr DWORD kEntryNameChars = 260;  // key names have at most 255 characters
constexpr DWORD kValueChars = 260;
static_assert(sizeof(wchar_t) * kValueChars == 520, "the value buffer holds 520 bytes");
}  // namespace

uint32_t DeleteUninstallEntries(const wchar_t* keyPath, const wchar_t* valueName, RegistryView view) {
    const PassAccess access = AccessForPass(GetPlatformClass(), view);
    if (!access.runs) return ERROR_SUCCESS;

    UniqueRegKey uninstallKey;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, access.mask, uninstallKey.put()) != ERROR_SUCCESS) {
        return ERROR_BADKEY;
    }

    uint32_t result = ERROR_BADKEY;
    DWORD index = 0;
    for (;;) {
        wchar_t entryName[kEntryNameChars] = {};
        if (RegEnumKeyW(uninstallKey.get(), index, entryName, kEntryNameChars) != ERROR_SUCCESS) break;
        ++index;

        wchar_t value[kValueChars] = {};
        {
            UniqueRegKey entry;
            if (RegOpenKeyExW(uninstallKey.get(), entryName, 0, access.mask, entry.put()) != ERROR_SUCCESS) continue;
            DWORD size = sizeof(value);
            // Read raw, whatever the type. A value longer than the buffer ends with
            // ERROR_MORE_DATA and leaves the buffer undefined: it counts as no match.
            if (RegQueryValueExW(entry.get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) !=
                ERROR_SUCCESS) {
                continue;
            }
        }
        if (!ValueNamesCardPackage(value, kValueChars, view)) continue;

        result = ERROR_SUCCESS;
        // The next entry moves into the freed index. An entry the registry will not
        // delete (it has subkeys) keeps its index, and the walk goes past it.
        if (RegDeleteKeyW(uninstallKey.get(), entryName) == ERROR_SUCCESS) --index;
    }
    return result;
}

void CleanUninstallRegistry() {
    // The registry calls are what this costs, so each entry is read once per view
    // and tried on all of that view's targets rather than once for every pass.
    const RegistryView views[] = {RegistryView::View32, RegistryView::View64};
    for (RegistryView view : views) {
        DeleteUninstallEntries(kUninstallKeyPath, kUninstallStringValue, view);
    }
    // In the tool's own (64-bit) view. A key that still holds a subkey that is not
    // ours is refused by the registry and stays, with its ancestors.
    for (const wchar_t* vendorKey : kVendorKeys) RegDeleteKeyW(HKEY_LOCAL_MACHINE, vendorKey);
}

}  // namespace mioutil
