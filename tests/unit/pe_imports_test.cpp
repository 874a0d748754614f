#include "platform/pe_imports.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace mioutil {
namespace {

// The fuzz target's seeds, small PE32+ files each named for what it holds.
std::string Seed(const std::string& name) {
    std::ifstream in(std::string(MIOUTIL_FUZZ_CORPUS) + "/pe_imports/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Read as the loader reads them: a whole file's names, load-time ones first, in table
// order; what is not whole, or names no plain file, is refused, never read in part.
TEST(ReadPeImports, NamesOfAWholeFileAndRefusalsOfTheRest) {
    const struct {
        const char* seed;
        PeImportsStatus status;
    } rows[] = {
        {"imports_and_delay_imports", PeImportsStatus::kRead},
        {"name_with_a_path", PeImportsStatus::kOddName},
        {"drive_in_a_delay_import", PeImportsStatus::kOddName},
        {"name_too_long", PeImportsStatus::kOddName},
        {"sixty_five_imports", PeImportsStatus::kTooMany},
        {"old_delay_form", PeImportsStatus::kDamaged},  // VA-based, which no 64-bit linker writes
        {"table_outside_every_section", PeImportsStatus::kDamaged},
        {"cut_by_the_virtual_size", PeImportsStatus::kDamaged},  // the loader maps no more than that
        {"cut_short", PeImportsStatus::kDamaged},
        {"pe32", PeImportsStatus::kNotPe32Plus},
    };
    for (const auto& row : rows) {
        const std::string file = Seed(row.seed);
        ASSERT_FALSE(file.empty()) << row.seed;
        PeImports imports;
        EXPECT_EQ(ReadPeImports(reinterpret_cast<const unsigned char*>(file.data()), file.size(), imports), row.status)
            << row.seed;
        if (row.status != PeImportsStatus::kRead) continue;
        std::vector<std::string> names;
        for (size_t i = 0; i < imports.count; ++i) {
            names.push_back(file.substr(imports.names[i].offset, imports.names[i].length));
        }
        EXPECT_EQ(names, (std::vector<std::string>{"KERNEL32.dll", "wintrust.dll", "newdev.dll"}));
    }
}

}  // namespace
}  // namespace mioutil
