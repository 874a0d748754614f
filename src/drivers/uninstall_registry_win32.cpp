#include "drivers/uninstall_registry.h"

#include <windows.h>

#include "log.h"
#include "log_text.h"
#include "names.h"
#include "status.h"
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

// The registry calls are what this costs, so each entry is read once per view
// and tried on all of that view's targets rather than once for every pass.
constexpr RegistryView kViews[] = {RegistryView::kView32, RegistryView::kView64};

// One of the card's entries: its target, and whether the keep rule keeps it.
struct EntryItem {
    HKEY uninstallKey;
    REGSAM mask;  // the walk's, for the uninstall key and the entries below it
    const wchar_t* name;
    const wchar_t* target;
    bool kept;
};

enum class EntryWalkEnd { kNoSuchView, kNotOpened, kWalked };

struct EntryWalk {
    EntryWalkEnd end;
    LSTATUS error;  // kNotOpened: why
    uint32_t examined;
};

// Hands each of the card's entries in one view to `visit`, which returns true where
// it deleted the entry. `readOnly` opens the same keys for reading only.
template <typename Visit>
EntryWalk WalkCardEntries(const wchar_t* keyPath, const wchar_t* valueName, RegistryView view, bool recordRefused,
                          bool readOnly, Visit visit) {
    EntryWalk walk = {EntryWalkEnd::kNoSuchView, ERROR_SUCCESS, 0};
    const PassAccess access = AccessForPass(GetPlatformClass(), view);
    if (!access.runs) return walk;
    const REGSAM mask = readOnly ? ReadOnlyAccess(access.mask) : access.mask;
    UniqueRegKey uninstallKey;
    walk.error = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, mask, uninstallKey.put());
    walk.end = EntryWalkEnd::kNotOpened;
    if (walk.error != ERROR_SUCCESS) return walk;
    walk.end = EntryWalkEnd::kWalked;

    DWORD index = 0;
    for (;;) {
        wchar_t entryName[kEntryNameChars] = {};
        if (RegEnumKeyW(uninstallKey.get(), index, entryName, kEntryNameChars) != ERROR_SUCCESS) break;
        ++index;
        ++walk.examined;

        wchar_t value[kValueChars] = {};
        const wchar_t* target = nullptr;
        bool kept = false;
        {
            UniqueRegKey entry;
            if (RegOpenKeyExW(uninstallKey.get(), entryName, 0, mask, entry.put()) != ERROR_SUCCESS) continue;
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
            kept = KeepsRecordedPackagesEntry(entryName, TextLength(entryName, kEntryNameChars), access.mask,
                                              recordRefused);
        }
        // The next entry moves into the freed index. An entry the registry will not
        // delete (it has subkeys) keeps its index, and the walk goes past it.
        if (visit(EntryItem{uninstallKey.get(), mask, entryName, target, kept})) --index;
    }
    return walk;
}

}  // namespace

void DeleteUninstallEntries(const wchar_t* keyPath, const wchar_t* valueName, RegistryView view,
                            bool recordRefused) {
    uint32_t deleted = 0;
    const EntryWalk walk = WalkCardEntries(keyPath, valueName, view, recordRefused, false, [&](const EntryItem& item) {
        LogQuote quotedName;
        LogQuoted(item.name, quotedName);
        if (item.kept) {
            RunLog(L"kept, it still holds a driver-store record that was not run: uninstall entry %ls %ls "
                   L"(UninstallString holds \"%ls\")",
                   ViewName(view), quotedName.chars, item.target);
            return false;
        }
        const LSTATUS status = RegDeleteKeyW(item.uninstallKey, item.name);
        if (status == ERROR_SUCCESS) {
            ++deleted;
            RunLog(L"deleted: uninstall entry %ls %ls (UninstallString holds \"%ls\")", ViewName(view),
                   quotedName.chars, item.target);
            return true;
        }
        RunLog(L"not deleted, error %ld (a key with subkeys of its own is refused): uninstall entry %ls %ls "
               L"(UninstallString holds \"%ls\")",
               static_cast<long>(status), ViewName(view), quotedName.chars, item.target);
        return false;
    });
    switch (walk.end) {
        case EntryWalkEnd::kNoSuchView:
            RunLog(L"uninstall entries, %ls: none on 32-bit Windows, nothing to do", ViewName(view));
            return;
        case EntryWalkEnd::kNotOpened:
            RunLog(L"uninstall entries, %ls: the uninstall key did not open (error %ld), nothing deleted",
                   ViewName(view), static_cast<long>(walk.error));
            return;
        case EntryWalkEnd::kWalked:
            break;
    }
    RunLog(L"uninstall entries, %ls: %lu examined, %lu of the card's deleted", ViewName(view),
           static_cast<unsigned long>(walk.examined), static_cast<unsigned long>(deleted));
}

void CleanUninstallRegistry(bool recordRefused) {
    for (RegistryView view : kViews) {
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

namespace {

// Whether the entry holds keys of its own, which the registry refuses to delete with it.
bool HasSubkeys(const EntryItem& item) {
    UniqueRegKey entry;
    wchar_t name[kEntryNameChars] = {};
    if (RegOpenKeyExW(item.uninstallKey, item.name, 0, item.mask, entry.put()) != ERROR_SUCCESS) return false;
    const LSTATUS first = RegEnumKeyW(entry.get(), 0, name, kEntryNameChars);
    return first == ERROR_SUCCESS || first == ERROR_MORE_DATA;
}

void ReportUninstallEntries(RegistryView view, bool recordRefused) {
    uint32_t goes = 0;
    const auto report = [&](const EntryItem& item) {
        LogQuote quotedName;
        LogQuoted(item.name, quotedName);
        const wchar_t* verdict = L"would be deleted";
        if (item.kept) {
            verdict = L"would be kept, it holds a driver-store record that would not be run";
        } else if (HasSubkeys(item)) {
            verdict = L"would not be deleted (a key with subkeys of its own is refused)";
        } else {
            ++goes;
        }
        StatusLine(L"uninstall entry: %ls: %ls %ls (UninstallString holds \"%ls\")", verdict, ViewName(view),
                   quotedName.chars, item.target);
        return false;
    };
    const EntryWalk walk =
        WalkCardEntries(kUninstallKeyPath, kUninstallStringValue, view, recordRefused, true, report);
    switch (walk.end) {
        case EntryWalkEnd::kNoSuchView:
            StatusLine(L"uninstall entry: %ls: none on 32-bit Windows", ViewName(view));
            return;
        case EntryWalkEnd::kNotOpened:
            StatusLine(L"uninstall entry: %ls: the uninstall key did not open (error %ld)", ViewName(view),
                       static_cast<long>(walk.error));
            return;
        case EntryWalkEnd::kWalked:
            break;
    }
    StatusLine(L"uninstall entry: %ls: %lu examined, %lu of the card's would be deleted", ViewName(view),
               static_cast<unsigned long>(walk.examined), static_cast<unsigned long>(goes));
}

// A vendor key goes, deepest first, once it holds no key but the one deleted before it.
void ReportVendorKeys() {
    bool goes[kVendorKeyCount] = {};
    for (size_t i = 0; i < kVendorKeyCount; ++i) {
        UniqueRegKey key;
        const LSTATUS opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kVendorKeys[i], 0, KEY_READ, key.put());
        if (opened == ERROR_FILE_NOT_FOUND) {
            StatusLine(L"vendor key HKLM\\%ls: not there", kVendorKeys[i]);
            continue;
        }
        if (opened != ERROR_SUCCESS) {
            StatusLine(L"vendor key HKLM\\%ls: there, not open for reading (error %ld)", kVendorKeys[i],
                       static_cast<long>(opened));
            continue;
        }
        goes[i] = true;
        for (DWORD index = 0; goes[i]; ++index) {
            wchar_t name[kEntryNameChars] = {};
            const LSTATUS status = RegEnumKeyW(key.get(), index, name, kEntryNameChars);
            if (status == ERROR_NO_MORE_ITEMS) break;
            goes[i] = status == ERROR_SUCCESS && i > 0 && goes[i - 1] &&
                      IsVendorKeyBefore(i, name, TextLength(name, kEntryNameChars));
        }
        StatusLine(goes[i] ? L"vendor key HKLM\\%ls: there, would be deleted"
                           : L"vendor key HKLM\\%ls: there, would be kept: it holds a key that is not the card's",
                   kVendorKeys[i]);
    }
}

}  // namespace

void ReportUninstallRegistry(bool recordRefused) {
    for (RegistryView view : kViews) ReportUninstallEntries(view, recordRefused);
    ReportVendorKeys();
}

}  // namespace mioutil
