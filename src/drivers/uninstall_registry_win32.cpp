#include "drivers/uninstall_registry.h"

#include <windows.h>

#include "log.h"
#include "log_text.h"
#include "names.h"
#include "platform/platform_probe.h"
#include "platform/unique_handle.h"
#include "text.h"

namespace mioutil {

namespace {
constexpr DWORD kEntryNameChars = static_cast<DWORD>(kPathChars);  // key names have at most 255 characters
constexpr DWORD kValueChars = static_cast<DWORD>(kPathChars);
static_assert(sizeof(wchar_t) * kValueChars == 520, "the value buffer holds 520 bytes");
// The pure core's copies of the access masks.
static_assert(kKeyAllAccess == KEY_ALL_ACCESS && kKeyWow64_32Key == KEY_WOW64_32KEY &&
                  kKeyWow64_64Key == KEY_WOW64_64KEY,
              "access masks as the SDK has them");

const wchar_t* ViewName(RegistryView view) {
    return view == RegistryView::kView32 ? L"32-bit view" : L"64-bit view";
}

}  // namespace

void DeleteUninstallEntries(const wchar_t* keyPath, const wchar_t* valueName, RegistryView view,
                            bool recordRefused) {
    const PassAccess access = AccessForPass(GetPlatformClass(), view);
    if (!access.runs) {
        RunLog(L"uninstall entries, %ls: none on 32-bit Windows, nothing to do", ViewName(view));
        return;
    }

    UniqueRegKey uninstallKey;
    const LSTATUS opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, access.mask, uninstallKey.put());
    if (opened != ERROR_SUCCESS) {
        RunLog(L"uninstall entries, %ls: the uninstall key did not open (error %ld), nothing deleted", ViewName(view),
               static_cast<long>(opened));
        return;
    }

    uint32_t examined = 0;
    uint32_t deleted = 0;
    DWORD index = 0;
    for (;;) {
        wchar_t entryName[kEntryNameChars] = {};
        if (RegEnumKeyW(uninstallKey.get(), index, entryName, kEntryNameChars) != ERROR_SUCCESS) break;
        ++index;
        ++examined;

        wchar_t value[kValueChars] = {};
        const wchar_t* target = nullptr;
        LogQuote quotedName;
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
            target = CardPackageTarget(value, kValueChars, view);
            if (target == nullptr) continue;
            // A record the driver-store step refused to run keeps the one entry that
            // step reads: deleting it would lose the only trace of that package.
            if (KeepsRecordedPackagesEntry(entryName, TextLength(entryName, kEntryNameChars), access.mask,
                                           recordRefused)) {
                RunLog(L"kept, it still holds a driver-store record that was not run: uninstall entry %ls %ls "
                       L"(UninstallString holds \"%ls\")",
                       ViewName(view), LogQuoted(entryName, quotedName), target);
                continue;
            }
        }

        // The next entry moves into the freed index. An entry the registry will not
        // delete (it has subkeys) keeps its index, and the walk goes past it.
        const LSTATUS status = RegDeleteKeyW(uninstallKey.get(), entryName);
        if (status == ERROR_SUCCESS) {
            --index;
            ++deleted;
            RunLog(L"deleted: uninstall entry %ls %ls (UninstallString holds \"%ls\")", ViewName(view),
                   LogQuoted(entryName, quotedName), target);
        } else {
            RunLog(L"not deleted, error %ld (a key with subkeys of its own is refused): uninstall entry %ls %ls "
                   L"(UninstallString holds \"%ls\")",
                   static_cast<long>(status), ViewName(view), LogQuoted(entryName, quotedName), target);
        }
    }
    RunLog(L"uninstall entries, %ls: %lu examined, %lu of the card's deleted", ViewName(view),
           static_cast<unsigned long>(examined), static_cast<unsigned long>(deleted));
}

void CleanUninstallRegistry(bool recordRefused) {
    // The registry calls are what this costs, so each entry is read once per view
    // and tried on all of that view's targets rather than once for every pass.
    const RegistryView views[] = {RegistryView::kView32, RegistryView::kView64};
    for (RegistryView view : views) {
        DeleteUninstallEntries(kUninstallKeyPath, kUninstallStringValue, view, recordRefused);
    }
    // In the tool's own (64-bit) view. A key that still holds a subkey that is not
    // ours is refused by the registry and stays, with its ancestors.
    for (const wchar_t* vendorKey : kVendorKeys) {
        const LSTATUS status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, vendorKey);
        if (status == ERROR_SUCCESS) {
            RunLog(L"deleted: vendor key HKLM\\%ls", vendorKey);
        } else if (status == ERROR_FILE_NOT_FOUND) {
            RunLog(L"not there: vendor key HKLM\\%ls", vendorKey);
        } else {
            RunLog(L"kept, error %ld (it holds a key that is not the card's): vendor key HKLM\\%ls",
                   static_cast<long>(status), vendorKey);
        }
    }
}

}  // namespace mioutil
