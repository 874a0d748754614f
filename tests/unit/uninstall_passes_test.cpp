#include "drivers/uninstall_passes.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "names.h"

namespace mioutil {
namespace {

constexpr RegistryView k32 = RegistryView::kView32;
constexpr RegistryView k64 = RegistryView::kView64;

// Which target runs in which view is checked end to end; what only shows here is
// the order: a target that is a prefix of another must run first in each view, so
// that the longer target's pass meets only what the shorter one could not delete.
TEST(UninstallPasses, APrefixTargetRunsBeforeTheLongerTargetOfItsView) {
    ASSERT_EQ(kUninstallPassCount, 15u);
    int checked = 0;
    for (size_t longer = 0; longer < kUninstallPassCount; ++longer) {
        for (size_t prefix = 0; prefix < kUninstallPassCount; ++prefix) {
            const UninstallPass& l = kUninstallPasses[longer];
            const UninstallPass& p = kUninstallPasses[prefix];
            const size_t n = std::wcslen(p.target);
            if (prefix == longer || l.view != p.view || std::wcslen(l.target) <= n ||
                std::wcsncmp(l.target, p.target, n) != 0) {
                continue;
            }
            EXPECT_LT(prefix, longer) << "pass " << prefix + 1 << " and pass " << longer + 1;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 2);  // "krvpci" before "krvpcip", in each view
}

TEST(AccessForPass, X64WindowsWorksInEachViewWithFullAccess) {
    // Every x64 class Wine and Windows produce, plus single bits of the group.
    for (uint32_t cls : {0x51000060u, 0x52000060u, 0x60000060u, 0x60200860u, 0x61000060u, 0x60u, 0x20u, 0x40u}) {
        const PassAccess a32 = AccessForPass(cls, k32);
        const PassAccess a64 = AccessForPass(cls, k64);
        EXPECT_TRUE(a32.runs) << std::hex << cls;
        EXPECT_EQ(a32.mask, 0xF023Fu) << std::hex << cls;
        EXPECT_TRUE(a64.runs) << std::hex << cls;
        EXPECT_EQ(a64.mask, 0xF013Fu) << std::hex << cls;
        // -Status reads the same view: KEY_READ and the view's flag.
        EXPECT_EQ(ReadOnlyAccess(a32.mask), 0x20219u) << std::hex << cls;
        EXPECT_EQ(ReadOnlyAccess(a64.mask), 0x20119u) << std::hex << cls;
    }
}

TEST(AccessForPass, X86WindowsHasOneViewAndSkipsThe64BitPasses) {
    for (uint32_t cls : {0x50000003u, 0x51000003u, 0x52000003u, 0x60000003u, 0x60200803u, 0x61000003u, 0x03u, 0x01u,
                         0x02u}) {
        const PassAccess a32 = AccessForPass(cls, k32);
        EXPECT_TRUE(a32.runs) << std::hex << cls;
        EXPECT_EQ(a32.mask, 0xF003Fu) << std::hex << cls;  // no view flag: the only view there is
        EXPECT_EQ(ReadOnlyAccess(a32.mask), 0x20019u) << std::hex << cls;
        EXPECT_FALSE(AccessForPass(cls, k64).runs) << std::hex << cls;
    }
}

TEST(AccessForPass, UnclassifiedSystemGetsNoAccess) {
    for (RegistryView view : {k32, k64}) {
        const PassAccess a = AccessForPass(0, view);
        EXPECT_EQ(a.mask, 0u);
        EXPECT_EQ(ReadOnlyAccess(a.mask), 0u);  // -Status enumerates no more than the cleanup
    }
    // Only the architecture bits count, never the version family.
    EXPECT_EQ(AccessForPass(0x61000000u, k32).mask, 0u);
    EXPECT_EQ(AccessForPass(0x60200800u, k64).mask, 0u);
}

// The text in a buffer of exactly `capacity` characters, unterminated when it fills it:
// ASan reports any read past the end.
std::vector<wchar_t> Buffer(const std::wstring& text, size_t capacity) {
    std::vector<wchar_t> b(capacity, L'\0');
    for (size_t i = 0; i < text.size() && i < capacity; ++i) b[i] = text[i];
    return b;
}

TEST(ValueTextContains, FindsTheTargetAnywhereCaseSensitively) {
    const wchar_t* uninstall =
        L"C:\\PROGRA~1\\DIFX\\0123\\DPInst64.exe /u C:\\Windows\\System32\\DriverStore\\FileRepository\\"
        L"krvpci.inf_amd64_neutral_3f2a\\krvpci.inf";
    std::vector<wchar_t> b = Buffer(uninstall, 260);
    EXPECT_TRUE(ValueTextContains(b.data(), b.size(), kTargetKrvpci));
    EXPECT_FALSE(ValueTextContains(b.data(), b.size(), kTargetKrvpcip));
    EXPECT_TRUE(ValueTextContains(b.data(), b.size(), L"DPInst64"));  // at no particular position
    EXPECT_FALSE(ValueTextContains(b.data(), b.size(), L"KRVPCI"));
    EXPECT_FALSE(ValueTextContains(b.data(), b.size(), L"Krvpci"));

    std::vector<wchar_t> start = Buffer(L"krvport.inf", 260);
    EXPECT_TRUE(ValueTextContains(start.data(), start.size(), kTargetKrvport));
    std::vector<wchar_t> end = Buffer(L"\"C:\\Program Files\\Korav\\PCI_MultiIO_Driver", 260);
    EXPECT_TRUE(ValueTextContains(end.data(), end.size(), kTargetVendorProduct));
    EXPECT_FALSE(ValueTextContains(end.data(), end.size(), L"Korav/PCI_MultiIO_Driver"));
    // A near miss just before the real occurrence.
    std::vector<wchar_t> retry = Buffer(L"mevcarmevcard", 260);
    EXPECT_TRUE(ValueTextContains(retry.data(), retry.size(), kTargetMevcard));
    std::vector<wchar_t> almost = Buffer(L"KRVInst.ex", 260);
    EXPECT_FALSE(ValueTextContains(almost.data(), almost.size(), kTargetInstaller));
}

TEST(ValueTextContains, StopsAtTheFirstNullOrTheEndOfTheBuffer) {
    // What follows the first null is not part of the text (a REG_MULTI_SZ, say).
    std::wstring multi = std::wstring(L"C:\\other.exe") + L'\0' + L"krvcard";
    std::vector<wchar_t> b = Buffer(multi, 260);
    EXPECT_FALSE(ValueTextContains(b.data(), b.size(), kTargetKrvcard));

    // A value that fills the buffer with no terminator: the target at its very end
    // counts, one cut by the end does not, and nothing past the buffer is read.
    std::wstring filler(260 - 7, L'x');
    std::vector<wchar_t> full = Buffer(filler + L"krvcard", 260);
    EXPECT_TRUE(ValueTextContains(full.data(), full.size(), kTargetKrvcard));
    std::vector<wchar_t> cut = Buffer(filler + L"krvcar", 260);  // 259 characters, then the zero fill
    EXPECT_FALSE(ValueTextContains(cut.data(), cut.size(), kTargetKrvcard));
    std::vector<wchar_t> cutAtEnd = Buffer(std::wstring(260 - 3, L'x') + L"krv", 260);
    EXPECT_FALSE(ValueTextContains(cutAtEnd.data(), cutAtEnd.size(), kTargetKrvcard));
}

// One walk over a view stands for that view's passes: it looks for their targets, no other.
TEST(CardPackageTarget, EachViewLooksForTheTargetsOfItsOwnPasses) {
    for (const UninstallPass& pass : kUninstallPasses) {
        std::vector<wchar_t> b = Buffer(L"C:\\drivers\\" + std::wstring(pass.target) + L" /u", 260);
        EXPECT_TRUE(CardPackageTarget(b.data(), b.size(), pass.view)) << testing::PrintToString(b.data());
    }
    std::vector<wchar_t> product = Buffer(L"C:\\Program Files\\Korav\\PCI_MultiIO_Driver\\uninst.exe", 260);
    EXPECT_TRUE(CardPackageTarget(product.data(), product.size(), k32));
    EXPECT_FALSE(CardPackageTarget(product.data(), product.size(), k64));
    std::vector<wchar_t> other = Buffer(L"C:\\KRVPCI\\krv-card\\KRVInst.ex mev_port", 260);
    EXPECT_FALSE(CardPackageTarget(other.data(), other.size(), k32));
    EXPECT_FALSE(CardPackageTarget(other.data(), other.size(), k64));
}

TEST(ValueTextContains, EmptyTextsAndTargets) {
    std::vector<wchar_t> empty = Buffer(L"", 260);
    EXPECT_FALSE(ValueTextContains(empty.data(), empty.size(), kTargetKrvpci));
    std::vector<wchar_t> shorter = Buffer(L"krvpc", 260);
    EXPECT_FALSE(ValueTextContains(shorter.data(), shorter.size(), kTargetKrvpci));
    std::vector<wchar_t> any = Buffer(L"anything", 260);
    EXPECT_FALSE(ValueTextContains(any.data(), any.size(), L""));  // would match every entry
    EXPECT_FALSE(ValueTextContains(any.data(), 0, L"a"));
}

// Only the entry the driver-store step opens (the card's, 64-bit view), and only while
// that step refused a record of it, is kept for its records.
TEST(KeepsRecordedPackagesEntry, TheCardsEntryInTheToolsOwnViewWhileTheStepRefusedARecord) {
    const struct {
        const wchar_t* name;
        uint32_t mask;
        bool refused;
        bool kept;
    } rows[] = {
        {L"KORAV Multi-I/O Card Driver", kKeyAllAccess | kKeyWow64_64Key, true, true},
        {L"korav multi-i/o card driver", kKeyAllAccess | kKeyWow64_64Key, true, true},
        {L"KORAV Multi-I/O Card Driver", kKeyAllAccess, true, true},  // x86 class: no flag, the tool's own view
        {L"KORAV Multi-I/O Card Driver", kKeyAllAccess | kKeyWow64_64Key, false, false},  // records it never read
        {L"KORAV Multi-I/O Card Driver", kKeyAllAccess | kKeyWow64_32Key, true, false},
        {L"KORAV Multi-I/O Card Driver ", kKeyAllAccess | kKeyWow64_64Key, true, false},
        {L"KORAV Multi-I-O Card Driver", kKeyAllAccess | kKeyWow64_64Key, true, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(KeepsRecordedPackagesEntry(row.name, std::wcslen(row.name), row.mask, row.refused), row.kept)
            << testing::PrintToString(std::wstring(row.name)) << " mask " << row.mask << " refused " << row.refused;
    }
}

// -Status's vendor-key rule: a key goes once it holds nothing but the one deleted before it.
TEST(IsVendorKeyBefore, OnlyTheNextDeeperVendorKeyByNameInAnyCase) {
    const struct {
        size_t index;
        const wchar_t* name;
        bool before;
    } rows[] = {
        {1, L"Setup", true},  {1, L"SETUP", true},   {2, L"PCI_MultiIO_Driver", true}, {2, L"pci_multiio_driver", true},
        {1, L"Setu", false},  {1, L"Setup2", false}, {2, L"Setup", false},             {2, L"Other Product", false},
        {0, L"Setup", false}, {3, L"Korav", false},  {2, L"PCI_MultiIO_Driver\\Setup", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(IsVendorKeyBefore(row.index, row.name, std::wcslen(row.name)), row.before)
            << row.index << " " << testing::PrintToString(std::wstring(row.name));
    }
}

}  // namespace
}  // namespace mioutil
