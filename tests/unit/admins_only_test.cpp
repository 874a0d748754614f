#include "platform/admins_only.h"

#include <gtest/gtest.h>

#include <string>

namespace mioutil {
namespace {

struct Reader {
    const unsigned char* b;
    unsigned Word(size_t at) const { return b[at] | b[at + 1] << 8; }
    unsigned long Dword(size_t at) const { return Word(at) | static_cast<unsigned long>(Word(at + 2)) << 16; }
    // "S-1-5-32-544" from the SID at `at`; its size in *bytes.
    std::string Sid(size_t at, size_t* bytes) const {
        std::string s = "S-" + std::to_string(b[at]) + "-" + std::to_string(b[at + 7]);
        for (unsigned i = 0; i < b[at + 1]; ++i) s += "-" + std::to_string(Dword(at + 8 + 4 * i));
        *bytes = 8 + 4 * b[at + 1];
        return s;
    }
};

// Read back as Windows reads a self-relative descriptor: owner Administrators, no group or
// SACL, a protected DACL of exactly two full-access grants, SYSTEM's and Administrators'.
TEST(AdminsOnlyDescriptor, OwnedByAdministratorsAndGrantsOnlySystemAndAdministrators) {
    for (bool inheritable : {false, true}) {
        AdminsOnlyDescriptor d;
        BuildAdminsOnlyDescriptor(inheritable, d);
        const Reader r = {d.bytes};
        size_t size = 0;
        EXPECT_EQ(d.bytes[0], 1u);         // revision
        EXPECT_EQ(r.Word(2), 0x9004u);  // self-relative, DACL present and protected
        EXPECT_EQ(r.Sid(r.Dword(4), &size), "S-1-5-32-544");
        EXPECT_EQ(r.Dword(8), 0u);
        EXPECT_EQ(r.Dword(12), 0u);
        const size_t acl = r.Dword(16);
        EXPECT_EQ(acl, r.Dword(4) + size);
        EXPECT_EQ(d.bytes[acl], 2u);  // ACL_REVISION
        EXPECT_EQ(acl + r.Word(acl + 2), kAdminsOnlyDescriptorBytes);
        ASSERT_EQ(r.Word(acl + 4), 2u);
        size_t ace = acl + 8;
        for (const char* sid : {"S-1-5-18", "S-1-5-32-544"}) {
            EXPECT_EQ(d.bytes[ace], 0u);                         // access allowed
            EXPECT_EQ(d.bytes[ace + 1], inheritable ? 3u : 0u);  // to files and folders made inside
            EXPECT_EQ(r.Dword(ace + 4), 0x1F01FFul);             // FILE_ALL_ACCESS
            EXPECT_EQ(r.Sid(ace + 8, &size), sid);
            EXPECT_EQ(r.Word(ace + 2), 8 + size);
            ace += r.Word(ace + 2);
        }
        EXPECT_EQ(ace, kAdminsOnlyDescriptorBytes);
    }
}

}  // namespace
}  // namespace mioutil
