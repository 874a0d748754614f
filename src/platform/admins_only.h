// The security descriptor of what the tool makes for itself (its run lock, the private
// folder of a DLL it checks): owned by Administrators, with a protected DACL that grants
// full access to SYSTEM and Administrators and to nobody else, so that no unprivileged
// process can open, hold or change it, and nothing the parent folder grants reaches it.
// Built as bytes in the self-relative form SECURITY_ATTRIBUTES takes, with no system
// call and nothing to free. Pure: no <windows.h>.
#pragma once

#include <cstddef>

namespace mioutil {

// Header (20), owner S-1-5-32-544 (16), DACL header (8), ACE for S-1-5-18 (20), ACE for S-1-5-32-544 (24).
inline constexpr size_t kAdminsOnlyDescriptorBytes = 88;

struct AdminsOnlyDescriptor {
    alignas(8) unsigned char bytes[kAdminsOnlyDescriptorBytes];
};

/// The descriptor; with `inheritable` its two grants also pass to what is made inside
/// (for a folder), and to nothing else.
void BuildAdminsOnlyDescriptor(bool inheritable, AdminsOnlyDescriptor& out);

}  // namespace mioutil
