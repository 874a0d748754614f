#include "drivers/uninstall_registry.h"

#include <windows.h>

#include "names.h"
#include "platform/platform_probe.h"
#include "platform/unique_handle.h"
#include "text.h"

namespace mioutil {

namespace {
constexpr DWORD kEntryNameChars = static_cast<DWORD>(kPathChars);  // key names have at most 255 characters
constexpr DWORD kValueChars = static_cast<DWORD>(kPathChars);
static_assert(sizeof(wchar_t) * kValueChars == 520, "the value buffer holds 520 bytes");
bool HoldsDriverStoreRecord(HKEY entry) {
    for (DWORD i = 0;; ++i) {
        wchar_t name[kEntryNameChars] = {};
        DWORD length = kEntryNameChars;
        const LONG status = RegEnumValueW(entry, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) return false;
        // A name too long for the buffer is no record's name.
        if (status == ERROR_SUCCESS && IsDriverStoreRecordName(name, length)) return true;
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return true;  // unreadable: keep the entry
    }
}

}  // namespace

uint32_t DeleteUninstallEntries(const wchar_t* keyPath, const wchar_t* valueName, const wchar_t* target,
                                RegistryView view) {
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
            if (!ValueTextContains(value, kValueChars, target)) continue;
            // A driver-store record the first step kept (it refused to run it) keeps
            // its entry: deleting the entry would lose the only trace of that package.
            if (HoldsDriverStoreRecord(entry.get())) continue;
        }

        result = ERROR_SUCCESS;
        // The next entry moves into the freed index. An entry the registry will not
        // delete (it has subkeys) keeps its index, and the walk goes past it.
        if (RegDeleteKeyW(uninstallKey.get(), entryName) == ERROR_SUCCESS) --index;
    }
    return result;
}

void CleanUninstallRegistry() {
    for (const UninstallPass& pass : kUninstallPasses) {
        DeleteUninstallEntries(kUninstallKeyPath, kUninstallStringValue, pass.target, pass.view);
    }
    // In the tool's own (64-bit) view. A key that still holds a subkey that is not
    // ours is refused by the registry and stays, with its ancestors.
    for (const wchar_t* vendorKey : kVendorKeys) RegDeleteKeyW(HKEY_LOCAL_MACHINE, vendorKey);
}

}  // namespace mioutil
