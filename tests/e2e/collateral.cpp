#include "collateral.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "comdb_standin.h"
#include "devices.h"
#include "devices/msports_api.h"
#include "helpers.h"
#include "names.h"

namespace e2e {

struct Collateral::Watch {
    std::wstring path;
    UniqueRegKey key;
    UniqueKernelHandle event;
};

namespace {

using Item = Collateral::Item;
using Items = std::map<Item, std::string>;

// Recorded item by item, whole trees. A run is expected to change things only
// here; the ancestors of these keys are recorded too (their values and the
// names of their subkeys), and every other subtree below the roots is watched.
// The 32-bit view of SOFTWARE is the Wow6432Node subtree of the 64-bit view.
const wchar_t* const kRecordedTrees[] = {
    L"SYSTEM\\CurrentControlSet\\Enum",
    L"SYSTEM\\CurrentControlSet\\Control\\Class",
    L"SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter",
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    L"SOFTWARE\\Korav",
    L"SOFTWARE\\Wow6432Node\\Korav",
    L"SOFTWARE\\mioutil",  // the re-map's plan while it runs
};
const wchar_t* const kRoots[] = {L"SOFTWARE", L"SYSTEM\\CurrentControlSet"};

// Not watched: Wine's service manager counts each service it starts here (the
// first runs on a fresh prefix start some), whatever process caused it; and Wine's
// crypt32 writes the host's root certificates into the certificate stores in every
// process that checks a signature (Windows keeps its root lists up to date there too).
const wchar_t* const kNotWatched[] = {L"SYSTEM\\CurrentControlSet\\Control\\ServiceCurrent",
                                      L"SOFTWARE\\Microsoft\\SystemCertificates",
                                      L"SOFTWARE\\Wow6432Node\\Microsoft\\SystemCertificates"};

bool SameText(const std::wstring& a, size_t aStart, const std::wstring& b, size_t length) {
    return CompareStringOrdinal(a.c_str() + aStart, static_cast<int>(length), b.c_str(), static_cast<int>(length),
                                TRUE) == CSTR_EQUAL;
}

// `path` is `tree` or lies below it (registry names ignore case).
bool IsAtOrBelow(const std::wstring& path, const std::wstring& tree) {
    if (path.size() < tree.size() || !SameText(path, 0, tree, tree.size())) return false;
    return path.size() == tree.size() || path[tree.size()] == L'\\';
}

bool InRecordedTree(const std::wstring& path) {
    for (const wchar_t* tree : kRecordedTrees) {
        if (IsAtOrBelow(path, tree)) return true;
    }
    return false;
}

bool AboveRecordedTree(const std::wstring& path) {
    for (const wchar_t* tree : kRecordedTrees) {
        if (IsAtOrBelow(tree, path)) return true;
    }
    return false;
}

std::vector<std::wstring> Segments(const std::wstring& path) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (size_t end; (end = path.find(L'\\', start)) != std::wstring::npos; start = end + 1) {
        parts.push_back(path.substr(start, end - start));
    }
    parts.push_back(path.substr(start));
    return parts;
}

// A key path against a pattern where '*' stands for one whole key name.
bool Matches(const std::wstring& path, const std::wstring& pattern) {
    const std::vector<std::wstring> p = Segments(path), q = Segments(pattern);
    if (p.size() != q.size()) return false;
    for (size_t i = 0; i < p.size(); ++i) {
        if (q[i] != L"*" && (p[i].size() != q[i].size() || !SameText(p[i], 0, q[i], q[i].size()))) return false;
    }
    return true;
}

bool SameName(const std::wstring& a, const std::wstring& b) { return a.size() == b.size() && SameText(a, 0, b, b.size()); }

class Recorder {
public:
    Recorder(Items* items, std::vector<Collateral::Watch*>* watches) : items_(items), watches_(watches) {}

    void Cover(const std::wstring& path) {
        (*items_)[{path, L""}] = std::string();
        if (!InRecordedTree(path) && !AboveRecordedTree(path)) {
            Watch(path);
            return;
        }
        UniqueRegKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS) {
            (*items_)[{path, L""}] = "unreadable";
            return;
        }
        RecordValues(key.get(), path);
        key.reset();
        for (const std::wstring& child : SubkeyNames(KEY_WOW64_64KEY, path)) Cover(path + L"\\" + child);
    }

private:
    void RecordValues(HKEY key, const std::wstring& path) {
        DWORD nameChars = 0, dataBytes = 0;
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &nameChars, &dataBytes,
                         nullptr, nullptr);
        std::vector<wchar_t> name(nameChars + 2);
        std::vector<BYTE> data(dataBytes + 2);
        for (DWORD i = 0;; ++i) {
            DWORD nameLength = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size()), type = 0;
            LSTATUS status = RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &size);
            if (status == ERROR_MORE_DATA) {  // grown since the count was taken
                name.resize(16384);
                data.resize(size > data.size() ? size : data.size() * 2 + 1024);
                --i;
                continue;
            }
            if (status != ERROR_SUCCESS) break;
            std::string content(reinterpret_cast<const char*>(&type), sizeof(type));
            content.append(reinterpret_cast<const char*>(data.data()), size);
            (*items_)[{path, L"=" + std::wstring(name.data(), nameLength)}] = content;
        }
    }

    // A subtree not recorded item by item: any change below it signals the event.
    void Watch(const std::wstring& path) {
        if (watches_ == nullptr) return;
        for (const wchar_t* skipped : kNotWatched) {
            if (SameName(path, skipped)) return;
        }
        auto* watch = new Collateral::Watch;
        watch->path = path;
        watch->event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_NOTIFY | KEY_WOW64_64KEY, watch->key.put()) !=
                ERROR_SUCCESS ||
            RegNotifyChangeKeyValue(watch->key.get(), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                    watch->event.get(), TRUE) != ERROR_SUCCESS) {
            ADD_FAILURE() << "cannot watch HKLM\\" << testing::PrintToString(path);
        }
        watches_->push_back(watch);
    }

    Items* items_;
    std::vector<Collateral::Watch*>* watches_;
};

void RecordInfFolder(Items* items, const std::wstring& folder) {
    WIN32_FIND_DATAW found = {};
    const UniqueFind find(FindFirstFileW((L"\\\\?\\" + folder + L"\\*").c_str(), &found));
    std::vector<std::wstring> subfolders;
    for (bool more = find.valid(); more; more = FindNextFileW(find.get(), &found)) {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        char head[64];
        std::snprintf(head, sizeof(head), "attributes 0x%lx, ",
                      static_cast<unsigned long>(found.dwFileAttributes & ~FILE_ATTRIBUTE_ARCHIVE));
        std::string content = head;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            subfolders.push_back(path);
        } else {
            // FNV-1a over the content: equal sizes with other bytes show too.
            const std::string bytes = ReadBytes(path);
            unsigned long long hash = 14695981039346656037ull;
            for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
            char tail[64];
            std::snprintf(tail, sizeof(tail), "%zu bytes, content %016llx", bytes.size(), hash);
            content += tail;
        }
        (*items)[{path, L""}] = content;
    }
    for (const std::wstring& sub : subfolders) RecordInfFolder(items, sub);
}

Items Record(std::vector<Collateral::Watch*>* watches) {
    Items items;
    Recorder recorder(&items, watches);
    for (const wchar_t* root : kRoots) recorder.Cover(root);
    RecordInfFolder(&items, InfFolder());
    return items;
}

bool IsFile(const Item& item) { return item.first.size() > 1 && item.first[1] == L':'; }

std::string Show(const Item& item) {
    std::string where = IsFile(item) ? Narrow(item.first) : "HKLM\\" + Narrow(item.first);
    if (!item.second.empty()) where += " value \"" + Narrow(item.second.substr(1)) + "\"";
    return where;
}

std::string ShowContent(const Item& item, const std::string* content) {
    if (content == nullptr) return "(none)";
    if (item.second.empty()) return IsFile(item) ? *content : "(key)";
    DWORD type = 0;
    memcpy(&type, content->data(), sizeof(type));
    const std::string data = content->substr(sizeof(type));
    std::string shown = "type " + std::to_string(type) + " ";
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        std::wstring text(data.size() / 2, L'\0');
        if (!text.empty()) memcpy(&text[0], data.data(), text.size() * 2);
        return shown + testing::PrintToString(Narrow(text));
    }
    char hex[4];
    for (size_t i = 0; i < data.size() && i < 48; ++i) {
        std::snprintf(hex, sizeof(hex), "%02x", static_cast<unsigned char>(data[i]));
        shown += hex;
    }
    return shown + (data.size() > 48 ? "..." : "");
}

}  // namespace

Changes& Changes::Made(const std::wstring& key) {
    expected_.push_back({Kind::kKeyMade, key, L""});
    return *this;
}

Changes& Changes::Gone(const std::wstring& key) {
    expected_.push_back({Kind::kKeyGone, key, L""});
    return *this;
}

Changes& Changes::ValueGone(const std::wstring& key, const std::wstring& value) {
    expected_.push_back({Kind::kValueGone, key, value});
    return *this;
}

Changes& Changes::ValueSet(const std::wstring& key, const std::wstring& value) {
    expected_.push_back({Kind::kValueSet, key, value});
    return *this;
}

Changes& Changes::MayChange(const std::wstring& keyPattern, const std::wstring& value) {
    expected_.push_back({Kind::kMayChange, keyPattern, value});
    return *this;
}

Changes& Changes::FileGone(const std::wstring& name) {
    expected_.push_back({Kind::kFileGone, InfPath(name), L""});
    return *this;
}

Collateral::Collateral() { items_ = Record(&watches_); }

Collateral::~Collateral() {
    for (Watch* watch : watches_) delete watch;
}

void Collateral::Expect(const Changes& changes, const char* file, int line) const {
    const Items after = Record(nullptr);
    const std::vector<Changes::Expected>& expected = changes.expected();
    std::vector<bool> happened(expected.size(), false);

    auto check = [&](const Item& item, const std::string* was, const std::string* now) {
        bool covered = false;
        for (size_t i = 0; i < expected.size(); ++i) {
            const Changes::Expected& e = expected[i];
            bool fits = false;
            switch (e.kind) {
                case Changes::Kind::kKeyMade:
                    fits = was == nullptr && !IsFile(item) && IsAtOrBelow(item.first, e.where);
                    if (fits && item.second.empty() && SameName(item.first, e.where)) happened[i] = true;
                    break;
                case Changes::Kind::kKeyGone:
                    fits = now == nullptr && !IsFile(item) && IsAtOrBelow(item.first, e.where);
                    if (fits && item.second.empty() && SameName(item.first, e.where)) happened[i] = true;
                    break;
                case Changes::Kind::kValueGone:
                    fits = now == nullptr && SameName(item.first, e.where) && item.second == L"=" + e.value;
                    happened[i] = happened[i] || fits;
                    break;
                case Changes::Kind::kValueSet:
                    fits = now != nullptr && SameName(item.first, e.where) && item.second == L"=" + e.value;
                    happened[i] = happened[i] || fits;
                    break;
                case Changes::Kind::kMayChange:
                    fits = was != nullptr && now != nullptr && !IsFile(item) && item.second == L"=" + e.value &&
                           Matches(item.first, e.where);
                    break;
                case Changes::Kind::kFileGone:
                    fits = now == nullptr && item.second.empty() && SameName(item.first, e.where);
                    happened[i] = happened[i] || fits;
                    break;
            }
            covered = covered || fits;
        }
        if (!covered) {
            ADD_FAILURE_AT(file, line) << "changed, and not by the card's expected changes: " << Show(item) << "\n  was "
                                       << ShowContent(item, was) << "\n  now " << ShowContent(item, now);
        }
    };

    auto a = items_.begin();
    auto b = after.begin();
    while (a != items_.end() || b != after.end()) {
        if (b == after.end() || (a != items_.end() && a->first < b->first)) {
            check(a->first, &a->second, nullptr);
            ++a;
        } else if (a == items_.end() || b->first < a->first) {
            check(b->first, nullptr, &b->second);
            ++b;
        } else {
            if (a->second != b->second) check(a->first, &a->second, &b->second);
            ++a;
            ++b;
        }
    }

    for (size_t i = 0; i < expected.size(); ++i) {
        if (!happened[i] && expected[i].kind != Changes::Kind::kMayChange) {
            ADD_FAILURE_AT(file, line) << "expected to change and did not: "
                                       << Show({expected[i].where, expected[i].value.empty() ? L"" : L"=" + expected[i].value});
        }
    }
    for (const Watch* watch : watches_) {
        if (WaitForSingleObject(watch->event.get(), 0) == WAIT_OBJECT_0) {
            ADD_FAILURE_AT(file, line) << "something below HKLM\\" << Narrow(watch->path)
                                       << " changed (watched as a whole, not recorded item by item)";
        }
    }
}

// Things that are not the card's, on every machine the tests run on. Their names
// and texts come close to the card's (its provider, its targets, its enumerator
// and location texts, its vendor key) without being the card's.
namespace {

// Other vendors' COM ports are in the Ports setup class.
const GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

struct ForeignNode {
    const wchar_t* id;
    const wchar_t* portName;
    const wchar_t* location;
    int comNumber;  // reserved in the COM-port database
};
// Numbers no test gives the card's ports (those stay below 301), so that the
// foreign ports never hold a name a card port is to take.
const ForeignNode kForeignNodes[] = {
    {L"ROOT\\MIOUTIL_FOREIGN\\0000", L"COM301", L"KORAV COM Port 1", 301},
    {L"ROOT\\MIOUTIL_FOREIGN\\0001", L"COM304", L"Contoso Port 2", 304},
    {L"ROOT\\KRVPCARD_SERP\\0000", L"COM306", L"KORAV COM Port 2", 306},  // the card's device ID, another enumerator
    {L"KRVPCARD_ENUMX\\KRVPCARD_SERP\\0000", L"COM311", L"KORAV COM Port 1", 311},
};
const wchar_t* const kForeignEnumerators[] = {L"ROOT\\MIOUTIL_FOREIGN", L"ROOT\\KRVPCARD_SERP", L"KRVPCARD_ENUMX"};

struct ForeignInf {
    const wchar_t* name;
    const char* text;
    bool readOnly;
};
const ForeignInf kForeignInfs[] = {
    {L"oem7001.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Ports\r\nProvider=Contoso Korav Ltd.\r\n", false},
    {L"oem7001.pnf", "PNF of Contoso's package", false},
    {L"oem7002.inf", "[Version]\r\nClass=Ports\r\nProvider=korav co., ltd.\r\n; KORAV Co, Ltd. KORAV GROU P\r\n", false},
    {L"oem7002.pnf", "PNF", false},
    {L"oem7003.inf", "[Version]\r\nClass=Ports\r\nProvider=Korav Corporation\r\n", true},
    {L"OEM7004.INF", "[Version]\r\nClass=Net\r\nProvider=Fabrikam\r\n", false},
    {L"oem7004.pnf.old", "old PNF", false},
    {L"krvport.inf", "[Version]\r\nClass=Ports\r\nProvider=KORAV GROUP\r\n", false},  // the card's, not an oem*.inf
};

// Each near miss of a target the card's entries are found by, in the UninstallString.
const wchar_t kNearMisses[] =
    L"C:\\Vendor\\krvpc\\krv-card\\krv_port\\mev card\\mevprt\\KRVINST.EXE\\Korav\\PCI_MultiIO Driver\\KRVInst.ex";

struct ForeignValue {
    const wchar_t* key;  // below SOFTWARE
    const wchar_t* name;
    const wchar_t* text;
    DWORD type;
};
const ForeignValue kForeignValues[] = {
    {L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\{6F1C2D3E-4B5A-4978-8A9B-0C1D2E3F4A5B}", L"DisplayName",
     L"Contoso Korav Ltd. Serial Tools", REG_SZ},
    {L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\{6F1C2D3E-4B5A-4978-8A9B-0C1D2E3F4A5B}", L"UninstallString",
     L"MsiExec.exe /X{6F1C2D3E-4B5A-4978-8A9B-0C1D2E3F4A5B}", REG_SZ},
    {L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\Fabrikam Port Monitor", L"UninstallString", kNearMisses, REG_SZ},
    {L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\Fabrikam Port Monitor", L"DisplayName",
     L"krvcard mevport KRVInst.exe Korav\\PCI_MultiIO_Driver", REG_SZ},  // the targets, in another value
    {L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\Fabrikam Port Monitor\\Components", L"Part", L"krvcard.sys",
     REG_SZ},
    {L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\KoravLabs Updater", L"UninstallString",
     L"\"C:\\Program Files\\KoravLabs\\KRVPCI.INF remover.exe\" /KRVPORT /MEVCARD", REG_EXPAND_SZ},
    {L"KoravLabs\\Tools", L"InstallDir", L"C:\\Program Files\\KoravLabs", REG_SZ},
};

// What RemoveForeignThings deletes whole, below SOFTWARE.
const wchar_t* const kForeignTops[] = {
    L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\{6F1C2D3E-4B5A-4978-8A9B-0C1D2E3F4A5B}",
    L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\Fabrikam Port Monitor",
    L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\KoravLabs Updater",
    L"KoravLabs",
};

// The database with the foreign ports' numbers set (`reserve`) or cleared.
testing::AssertionResult MarkForeignNumbers(bool reserve) {
    std::string bits;
    if (!ReadValue(kNative, kComDbKey, kComDbValue, &bits)) {
        if (!reserve) return testing::AssertionSuccess();
        bits.assign(32, '\0');
    }
    for (const ForeignNode& node : kForeignNodes) {
        const size_t needed = static_cast<size_t>((node.comNumber + 7) / 8);
        if (reserve && bits.size() < needed) bits.resize(needed);
        if (bits.size() < needed) continue;
        const char bit = static_cast<char>(1u << ((node.comNumber - 1) % 8));
        char& byte = bits[(node.comNumber - 1) / 8];
        byte = static_cast<char>(reserve ? byte | bit : byte & ~bit);
    }
    return SetValue(kNative, kComDbKey, kComDbValue, REG_BINARY, bits.data(), static_cast<DWORD>(bits.size()));
}

const wchar_t kForeignVendorSetup[] = L"SOFTWARE\\Korav\\PCI_MultiIO_Driver\\Setup";  // 32-bit view only

}  // namespace

testing::AssertionResult PlantForeignInfs() {
    for (const ForeignInf& inf : kForeignInfs) {
        RemoveFileForce(InfPath(inf.name));
        testing::AssertionResult written = WriteBytes(InfPath(inf.name), inf.text);
        if (!written) return written;
        if (inf.readOnly) SetFileAttributesW(InfPath(inf.name).c_str(), FILE_ATTRIBUTE_READONLY);
    }
    return testing::AssertionSuccess();
}

void RemoveForeignInfs() {
    for (const ForeignInf& inf : kForeignInfs) RemoveFileForce(InfPath(inf.name));
}

testing::AssertionResult PlantForeignThings() {
    RemoveForeignThings();
    testing::AssertionResult done = PlantForeignInfs();
    for (const ForeignNode& node : kForeignNodes) {
        if (done) done = CreateNodes({{node.id, node.portName, node.location, L"Communications Port", true, &kPortsClass}});
    }
    if (done) done = MarkForeignNumbers(true);
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        for (const ForeignValue& v : kForeignValues) {
            if (done) done = SetText(view, std::wstring(L"SOFTWARE\\") + v.key, v.name, v.text, v.type);
        }
    }
    // The vendor's own tree in the other view: the tool cleans its own view only.
    if (done) done = SetText(KEY_WOW64_32KEY, kForeignVendorSetup, L"Version", L"1.0.0.4");
    return done;
}

void RemoveForeignThings() {
    RemoveForeignInfs();
    for (const wchar_t* enumerator : kForeignEnumerators) RemoveNodes(enumerator);
    MarkForeignNumbers(false);
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        for (const wchar_t* top : kForeignTops) DeleteTree(view, std::wstring(L"SOFTWARE\\") + top);
    }
    DeleteTree(KEY_WOW64_32KEY, L"SOFTWARE\\Korav");
}

}  // namespace e2e
