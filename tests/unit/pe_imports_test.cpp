#include "platform/pe_imports.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mioutil {
namespace {

// A PE32+ file with one section that maps RVA 0x1000 from file offset 0x200.
struct Pe {
    std::string bytes = std::string(0x200, '\0');
    void Put(size_t at, uint32_t value, int width = 4) {
        for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
    Pe() {
        bytes[0] = 'M', bytes[1] = 'Z';
        Put(0x3C, 0x40);
        Put(0x40, 0x4550);
        Put(0x46, 1, 2);       // sections
        Put(0x54, 0xF0, 2);    // size of the optional header
        Put(0x58, 0x20B, 2);   // PE32+
        Put(0x58 + 108, 16);   // data directories
        Put(0x148 + 12, 0x1000);
        Put(0x148 + 20, 0x200);
    }
    uint32_t Add(const std::string& data) {  // its RVA
        const uint32_t rva = static_cast<uint32_t>(0x1000 + bytes.size() - 0x200);
        bytes += data;
        Put(0x148 + 8, static_cast<uint32_t>(bytes.size() - 0x200));  // virtual size
        Put(0x148 + 16, static_cast<uint32_t>(bytes.size() - 0x200));  // raw size
        return rva;
    }
    // A table of descriptors of `size` bytes naming `names`, and its terminator.
    void Table(uint32_t directory, size_t size, size_t nameAt, const std::vector<std::string>& names, uint32_t flags = 1) {
        std::vector<uint32_t> rvas;
        for (const std::string& n : names) rvas.push_back(Add(n + '\0'));
        const size_t table = bytes.size();
        Put(0x58 + 112 + 8 * directory, Add(std::string(size * (names.size() + 1), '\0')));
        for (size_t i = 0; i < rvas.size(); ++i) {
            Put(table + i * size + nameAt, rvas[i]);
            if (directory == 13) Put(table + i * size, flags);
        }
    }
    PeImportsStatus Read(std::vector<std::string>* names = nullptr) const {
        PeImports imports;
        const PeImportsStatus status =
            ReadPeImports(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), imports);
        for (size_t i = 0; names != nullptr && i < imports.count; ++i) {
            names->push_back(bytes.substr(imports.names[i].offset, imports.names[i].length));
        }
        return status;
    }
};

TEST(ReadPeImports, LoadTimeThenDelayLoadedNamesInTableOrder) {
    Pe pe;
    pe.Table(1, 20, 12, {"KERNEL32.dll", "wintrust.dll"});
    pe.Table(13, 32, 4, {"newdev.dll"});
    std::vector<std::string> names;
    EXPECT_EQ(pe.Read(&names), PeImportsStatus::kRead);
    EXPECT_EQ(names, (std::vector<std::string>{"KERNEL32.dll", "wintrust.dll", "newdev.dll"}));
}

// What the loader would not read as this reads it is refused, never half read.
TEST(ReadPeImports, RefusesWhatIsNotWholeOrNoPlainName) {
    const struct {
        const char* what;
        void (*arrange)(Pe&);
        PeImportsStatus status;
    } rows[] = {
        {"a path", [](Pe& p) { p.Table(1, 20, 12, {"..\\evil.dll"}); }, PeImportsStatus::kOddName},
        {"a drive", [](Pe& p) { p.Table(13, 32, 4, {"C:evil.dll"}); }, PeImportsStatus::kOddName},
        {"not ASCII", [](Pe& p) { p.Table(1, 20, 12, {"\xE9vil.dll"}); }, PeImportsStatus::kOddName},
        {"too long", [](Pe& p) { p.Table(1, 20, 12, {std::string(129, 'a')}); }, PeImportsStatus::kOddName},
        {"65 DLLs", [](Pe& p) { p.Table(1, 20, 12, std::vector<std::string>(65, "a.dll")); }, PeImportsStatus::kTooMany},
        {"old delay form", [](Pe& p) { p.Table(13, 32, 4, {"a.dll"}, 0); }, PeImportsStatus::kDamaged},
        {"table outside", [](Pe& p) { p.Put(0x58 + 112 + 8, 0x9000); }, PeImportsStatus::kDamaged},
        {"name past the file",
         [](Pe& p) {
             p.Table(1, 20, 12, {"a.dll"});
             p.bytes.resize(0x200 + 5);  // the name's zero and the table are cut off
         },
         PeImportsStatus::kDamaged},
        {"name past the virtual size",
         [](Pe& p) {
             p.Table(1, 20, 12, {"a.dll"});
             p.Put(0x148 + 8, 3);
         },
         PeImportsStatus::kDamaged},
        {"PE32", [](Pe& p) { p.Put(0x58, 0x10B, 2); }, PeImportsStatus::kNotPe32Plus},
        {"no PE header", [](Pe& p) { p.Put(0x3C, 0x1F0); }, PeImportsStatus::kNotPe32Plus},
    };
    for (const auto& row : rows) {
        Pe pe;
        row.arrange(pe);
        EXPECT_EQ(pe.Read(), row.status) << row.what;
    }
}

}  // namespace
}  // namespace mioutil
