#include "platform/admins_only.h"

#include <cstdint>
#include <initializer_list>

namespace mioutil {

namespace {

constexpr uint16_t kControl = 0x8000 | 0x1000 | 0x0004;  // SE_SELF_RELATIVE | SE_DACL_PROTECTED | SE_DACL_PRESENT
constexpr uint32_t kFileAllAccess = 0x001F01FF;         // FILE_ALL_ACCESS
constexpr unsigned char kInheritFlags = 0x01 | 0x02;    // OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE

struct Writer {
    unsigned char* out;
    size_t at;
    void Byte(unsigned char b) { out[at++] = b; }
    void Word(uint16_t w) {
        Byte(static_cast<unsigned char>(w));
        Byte(static_cast<unsigned char>(w >> 8));
    }
    void Dword(uint32_t d) {
        Word(static_cast<uint16_t>(d));
        Word(static_cast<uint16_t>(d >> 16));
    }
    // S-1-5-<sub...>: the NT authority, its 48-bit value big-endian, then the sub-authorities.
    void NtSid(const uint32_t* sub, unsigned char count) {
        Byte(1);
        Byte(count);
        for (unsigned char b : {0, 0, 0, 0, 0, 5}) Byte(b);
        for (unsigned char i = 0; i < count; ++i) Dword(sub[i]);
    }
    void Grant(const uint32_t* sub, unsigned char count, unsigned char flags) {
        Byte(0);  // ACCESS_ALLOWED_ACE_TYPE
        Byte(flags);
        Word(static_cast<uint16_t>(8 + 8 + 4 * count));
        Dword(kFileAllAccess);
        NtSid(sub, count);
    }
};

constexpr uint32_t kSystem[] = {18};             // S-1-5-18, LocalSystem
constexpr uint32_t kAdministrators[] = {32, 544};  // S-1-5-32-544, BUILTIN\Administrators

}  // namespace

void BuildAdminsOnlyDescriptor(bool inheritable, AdminsOnlyDescriptor& out) {
    Writer w = {out.bytes, 0};
    w.Byte(1);  // revision
    w.Byte(0);
    w.Word(kControl);
    w.Dword(20);  // owner, just after the header
    w.Dword(0);   // no group
    w.Dword(0);   // no SACL
    w.Dword(36);  // DACL, after the owner
    w.NtSid(kAdministrators, 2);
    w.Byte(2);  // ACL_REVISION
    w.Byte(0);
    w.Word(static_cast<uint16_t>(kAdminsOnlyDescriptorBytes - 36));
    w.Word(2);  // ACEs
    w.Word(0);
    const unsigned char flags = inheritable ? kInheritFlags : 0;
    w.Grant(kSystem, 1, flags);
    w.Grant(kAdministrators, 2, flags);
}

}  // namespace mioutil
