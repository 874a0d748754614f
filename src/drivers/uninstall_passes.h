// The decisions of the uninstall-registry cleanup that need no system call: which
// passes belong to which registry view, the access each view is opened with, and
// whether an "UninstallString" names one of the card's packages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mioutil {

// The two registry views of the uninstall key on x64 Windows.
enum class RegistryView : uint32_t {
    kView32,
    kView64,
};

struct UninstallPass {
    const wchar_t* target;  // searched, case-sensitively, in each entry's "UninstallString"
    RegistryView view;
};

inline constexpr size_t kUninstallPassCount = 15;

/// The cleanup's passes. One walk over each view does that view's passes together,
/// trying their targets on each entry in this order.
extern const UninstallPass kUninstallPasses[kUninstallPassCount];

// Access masks as the registry knows them (KEY_ALL_ACCESS, KEY_WOW64_32KEY, KEY_WOW64_64KEY, KEY_READ).
enum : uint32_t {
    kKeyAllAccess = 0xF003F,
    kKeyWow64_32Key = 0x0200,
    kKeyWow64_64Key = 0x0100,
    kKeyRead = 0x20019,
};

struct PassAccess {
    bool runs;      // false: the pass touches nothing (the 64-bit view of x86 Windows)
    uint32_t mask;  // for the uninstall key and for every entry below it; 0 on an unclassified system
};

/// How one pass in the given view opens the registry on a system of the given platform class.
PassAccess AccessForPass(uint32_t platformClass, RegistryView view);

/// True when target occurs in the text held by a buffer of `capacity` characters.
/// The text ends at its first null character or at the end of the buffer, so an
/// unterminated value is never read past its buffer. An empty target matches nothing.
bool ValueTextContains(const wchar_t* text, size_t capacity, const wchar_t* target);

/// Whether a pass that opens the uninstall key with `accessMask` keeps an entry of the
/// card's for its driver-store records: only the entry the recorded driver-store step
/// reads (the card's own, its name in any case as the registry compares names, in the
/// tool's own view, which that step opens without a view flag), and only where that
/// step refused to run a record it read (`recordRefused`). Records it never reads (in
/// another entry or view, past the count of values, with a leading zero) keep nothing.
bool KeepsRecordedPackagesEntry(const wchar_t* name, size_t length, uint32_t accessMask, bool recordRefused);

/// The target of one of the passes of `view` that the value text (as for
/// ValueTextContains) holds, so that the entry is one of the card's there; null
/// when it holds none. The targets are tried in the order of the pass table and
/// the first that occurs decides.
const wchar_t* CardPackageTarget(const wchar_t* text, size_t capacity, RegistryView view);

inline constexpr size_t kVendorKeyCount = 3;

/// The vendor's keys under HKEY_LOCAL_MACHINE, deepest first, so that each is empty of
/// subkeys by the time its turn comes unless it holds something that is not ours.
extern const wchar_t* const kVendorKeys[kVendorKeyCount];

/// Whether `name`, a subkey of kVendorKeys[index], is the vendor key deleted just before
/// it (letters in any case, as the registry compares names): the one subkey that does
/// not keep it, once that key went.
bool IsVendorKeyBefore(size_t index, const wchar_t* name, size_t length);

/// The read-only access of a pass that opens the registry with `accessMask`: the same
/// view, reading only; none where the pass gets none (an unclassified system).
uint32_t ReadOnlyAccess(uint32_t accessMask);

}  // namespace mioutil
