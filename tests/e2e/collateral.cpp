#include "collateral.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>

#include "standins/comdb_standin.h"
#include "devices.h"
#include "devices/msports_api.h"
#include "helpers.h"
#include "names.h"

namespace e2e {

namespace {

// Recorded line by line, whole trees. A run is expected to change things only
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

std::string Utf8(const std::wstring& text) {
    std::string out(text.size() * 3, '\0');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0],
                                   static_cast<int>(out.size()), nullptr, nullptr));
    return out;
}

// Registry and file names ignore case (ASCII is enough for what the tests name).
bool StartsWith(const std::string& line, const std::string& prefix) {
    if (line.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(line[i])) != std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

// A line against a prefix where '*' stands for one whole key name.
bool Fits(const char* line, const char* pattern) {
    if (*pattern == '\0') return true;
    if (*pattern == '*') {
        for (const char* rest = line;; ++rest) {
            if (Fits(rest, pattern + 1)) return true;
            if (*rest == '\0' || *rest == '\\') return false;
        }
    }
    return std::tolower(static_cast<unsigned char>(*line)) == std::tolower(static_cast<unsigned char>(*pattern)) &&
           Fits(line + 1, pattern + 1);
}

bool IsAtOrBelow(const std::wstring& path, const wchar_t* tree) {
    return StartsWith(Utf8(path) + "\\", Utf8(tree) + "\\");
}

// The item a line is about: a key line, or a value's or file's line up to its '='.
std::string Item(const std::string& line) { return line.substr(0, std::min(line.rfind('='), line.size())); }

class Recorder {
public:
    Recorder(std::set<std::string>* lines, std::deque<Collateral::Watch>* watches) : lines_(lines), watches_(watches) {}

    void Cover(const std::wstring& path) {
        const std::string keyLine = "HKLM\\" + Utf8(path) + "\\";
        lines_->insert(keyLine);
        bool recorded = false;
        for (const wchar_t* tree : kRecordedTrees) recorded = recorded || IsAtOrBelow(path, tree) || IsAtOrBelow(tree, path.c_str());
        if (!recorded) return Watch(path, keyLine);
        UniqueRegKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS) {
            lines_->insert(keyLine + " unreadable");
            return;
        }
        std::vector<wchar_t> name(16384);
        std::vector<BYTE> data(4096);
        for (DWORD i = 0;; ++i) {
            DWORD nameLength = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size()), type = 0;
            const LSTATUS status = RegEnumValueW(key.get(), i, name.data(), &nameLength, nullptr, &type, data.data(), &size);
            if (status == ERROR_MORE_DATA) {
                data.resize(size + 2);
                --i;
                continue;
            }
            if (status != ERROR_SUCCESS) break;
            std::string line = keyLine + "\"" + Utf8(std::wstring(name.data(), nameLength)) + "\"=" + std::to_string(type) + ":";
            char hex[3];
            for (DWORD b = 0; b < size; ++b) {
                std::snprintf(hex, sizeof(hex), "%02x", data[b]);
                line += hex;
            }
            lines_->insert(line);
        }
        key.reset();
        for (const std::wstring& child : SubkeyNames(KEY_WOW64_64KEY, path)) Cover(path + L"\\" + child);
    }

private:
    // A subtree not recorded line by line: any change below it signals the event.
    void Watch(const std::wstring& path, const std::string& line) {
        if (watches_ == nullptr) return;
        for (const wchar_t* skipped : kNotWatched) {
            if (StartsWith(line, "HKLM\\" + Utf8(skipped) + "\\") && line.size() == Utf8(skipped).size() + 6) return;
        }
        Collateral::Watch& watch = watches_->emplace_back();
        watch.line = line;
        watch.event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_NOTIFY | KEY_WOW64_64KEY, watch.key.put()) !=
                ERROR_SUCCESS ||
            RegNotifyChangeKeyValue(watch.key.get(), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                    watch.event.get(), TRUE) != ERROR_SUCCESS) {
            ADD_FAILURE() << "cannot watch " << line;
        }
    }

    std::set<std::string>* lines_;
    std::deque<Collateral::Watch>* watches_;
};

void RecordFolder(std::set<std::string>* lines, const std::wstring& folder, const wchar_t* pattern = L"*") {
    WIN32_FIND_DATAW found = {};
    const UniqueFind find(FindFirstFileW((L"\\\\?\\" + folder + L"\\" + pattern).c_str(), &found));
    for (bool more = find.valid(); more; more = FindNextFileW(find.get(), &found)) {
        const std::wstring name = found.cFileName, path = folder + L"\\" + name;
        if (name == L"." || name == L"..") continue;
        const bool isFolder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        // FNV-1a over the content: equal sizes with other bytes show too.
        const std::string bytes = isFolder ? std::string() : ReadBytes(path);
        unsigned long long hash = 14695981039346656037ull;
        for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
        char content[64];
        std::snprintf(content, sizeof(content), "=%lx:%zu:%016llx",
                      static_cast<unsigned long>(found.dwFileAttributes & ~FILE_ATTRIBUTE_ARCHIVE), bytes.size(), hash);
        lines->insert(Utf8(path) + content);
        if (isFolder) RecordFolder(lines, path);
    }
}

std::set<std::string> Record(std::deque<Collateral::Watch>* watches) {
    std::set<std::string> lines;
    Recorder recorder(&lines, watches);
    for (const wchar_t* root : kRoots) recorder.Cover(root);
    RecordFolder(&lines, InfFolder());
    // What a run must never leave behind: its run lock, the private copies of the DLLs it checks.
    RecordFolder(&lines, WindowsDir(), mioutil::kRunLockFile);
    RecordFolder(&lines, WindowsDir() + L"\\Temp", L"mioutil.*");
    return lines;
}

std::string Shown(const std::string& line) { return line.size() > 200 ? line.substr(0, 200) + "..." : line; }

}  // namespace

std::string Changes::Key(const std::wstring& key) { return "HKLM\\" + Utf8(key) + "\\"; }

std::string Changes::Value(const std::wstring& key, const std::wstring& value) {
    return Key(key) + "\"" + Utf8(value) + "\"=";
}

Changes& Changes::FileGone(const std::wstring& name) { return Add(kGone, Utf8(InfPath(name)) + "=", ""); }

Collateral::Collateral() { lines_ = Record(&watches_); }

void Collateral::Expect(const Changes& changes, const char* file, int line) const {
    const std::set<std::string> after = Record(nullptr);
    std::vector<std::string> gone, made;
    std::set_difference(lines_.begin(), lines_.end(), after.begin(), after.end(), std::back_inserter(gone));
    std::set_difference(after.begin(), after.end(), lines_.begin(), lines_.end(), std::back_inserter(made));
    std::set<std::string> goneItems, madeItems;
    for (const std::string& l : gone) goneItems.insert(Item(l));
    for (const std::string& l : made) madeItems.insert(Item(l));

    const std::vector<Changes::Rule>& rules = changes.rules();
    std::vector<bool> happened(rules.size(), false);
    std::string unexpected;
    for (const bool isGone : {true, false}) {
        for (const std::string& l : isGone ? gone : made) {
            bool covered = false;
            for (size_t i = 0; i < rules.size(); ++i) {
                const Changes::Rule& r = rules[i];
                const bool match = r.kind == Changes::kMay ? Fits(l.c_str(), r.prefix.c_str()) : StartsWith(l, r.prefix);
                if (!match) continue;
                bool fits = false;
                switch (r.kind) {
                    case Changes::kGone: fits = isGone; break;
                    case Changes::kMade: fits = !isGone; break;
                    case Changes::kSet: fits = true; break;
                    // Other data only: the value neither made nor gone.
                    case Changes::kMay: fits = goneItems.count(Item(l)) != 0 && madeItems.count(Item(l)) != 0; break;
                }
                covered = covered || fits;
                const bool own = r.line.empty() || (l.size() == r.line.size() && StartsWith(l, r.line));
                if (fits && own && (r.kind == Changes::kSet ? !isGone : true)) happened[i] = true;
            }
            if (!covered) unexpected += (isGone ? "\n  - " : "\n  + ") + Shown(l);
        }
    }
    if (!unexpected.empty()) ADD_FAILURE_AT(file, line) << "changed, and not by the expected changes:" << unexpected;
    for (size_t i = 0; i < rules.size(); ++i) {
        if (!happened[i] && rules[i].kind != Changes::kMay) {
            ADD_FAILURE_AT(file, line) << "expected to change and did not: " << rules[i].prefix;
        }
    }
    for (const Watch& watch : watches_) {
        if (WaitForSingleObject(watch.event.get(), 0) == WAIT_OBJECT_0) {
            ADD_FAILURE_AT(file, line) << "something below " << watch.line
                                       << " changed (watched as a whole, not recorded line by line)";
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
    {L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\MioutilE2E Foreign App", L"UninstallString",
     L"\"C:\\Program Files\\Foreign\\uninst.exe\" /x KORAV", REG_SZ},
    {L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\MioutilE2E Foreign App", L"DisplayName",
     L"Foreign App by KORAV Co., Ltd.", REG_SZ},
    {L"KoravLabs\\Tools", L"InstallDir", L"C:\\Program Files\\KoravLabs", REG_SZ},
};

// What RemoveForeignThings deletes whole, below SOFTWARE.
const wchar_t* const kForeignTops[] = {
    L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\{6F1C2D3E-4B5A-4978-8A9B-0C1D2E3F4A5B}",
    L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\Fabrikam Port Monitor",
    L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\KoravLabs Updater",
    L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\MioutilE2E Foreign App",
    L"KoravLabs",
};

// The database with the foreign ports' numbers set (`reserve`) or cleared.
bool MarkForeignNumbers(bool reserve, At at) {
    std::string bits;
    if (!ReadValue(kNative, kComDbKey, kComDbValue, &bits)) {
        if (!reserve) return true;
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
    return SetValue(kNative, kComDbKey, kComDbValue, REG_BINARY, bits.data(), static_cast<DWORD>(bits.size()),
                    HKEY_LOCAL_MACHINE, at);
}

const wchar_t kForeignVendorSetup[] = L"SOFTWARE\\Korav\\PCI_MultiIO_Driver\\Setup";  // 32-bit view only

}  // namespace

Done PlantForeignInfs(At at) {
    for (const ForeignInf& inf : kForeignInfs) {
        RemoveFileForce(InfPath(inf.name));
        if (!WriteBytes(InfPath(inf.name), inf.text, at)) return false;
        if (inf.readOnly) SetFileAttributesW(InfPath(inf.name).c_str(), FILE_ATTRIBUTE_READONLY);
    }
    return true;
}

void RemoveForeignInfs() {
    for (const ForeignInf& inf : kForeignInfs) RemoveFileForce(InfPath(inf.name));
}

Done PlantForeignThings(At at) {
    RemoveForeignThings();
    bool done = PlantForeignInfs(at);
    for (const ForeignNode& node : kForeignNodes) {
        done = done && CreateNodes({{node.id, node.portName, node.location, L"Communications Port", true, &kPortsClass}}, at);
    }
    done = done && MarkForeignNumbers(true, at);
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        for (const ForeignValue& v : kForeignValues) {
            done = done && SetText(view, std::wstring(L"SOFTWARE\\") + v.key, v.name, v.text, v.type, HKEY_LOCAL_MACHINE, at);
        }
    }
    // The vendor's own tree in the other view: the tool cleans its own view only.
    return done && SetText(KEY_WOW64_32KEY, kForeignVendorSetup, L"Version", L"1.0.0.4", REG_SZ, HKEY_LOCAL_MACHINE, at);
}

void RemoveForeignThings() {
    RemoveForeignInfs();
    for (const wchar_t* enumerator : kForeignEnumerators) RemoveNodes(enumerator);
    MarkForeignNumbers(false, Here());
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        for (const wchar_t* top : kForeignTops) DeleteTree(view, std::wstring(L"SOFTWARE\\") + top);
    }
    DeleteTree(KEY_WOW64_32KEY, L"SOFTWARE\\Korav");
}

}  // namespace e2e
