#include "data_makers.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "helpers.h"
#include "names.h"

namespace bench {
namespace {

const std::wstring kStash = std::wstring(kWorkFolder) + L"\\stash";
const REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

struct Rng {
    unsigned state;
    unsigned Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

std::string Format(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    return std::string(buffer, n < 0 ? 0 : std::min<size_t>(static_cast<size_t>(n), sizeof(buffer) - 1));
}

// An INF of about 31 KiB as vendors write them: the provider is named through
// %ProviderName%, whose text stands in [Strings] at the end of the file.
std::string InfText(int index) {
    static const char* const kVendors[] = {"Contoso Ltd.",      "Fabrikam, Inc.",     "Northwind Traders",
                                           "Korean Serial Co.", "KORE Communications", "Litware, Inc.",
                                           "Woodgrove Devices", "Adventure Works"};
    Rng rng = {static_cast<unsigned>(index) * 2654435761u + 12345u};
    const int provider = ProviderOf(index);
    const std::string vendor = kVendors[index % 8];
    const std::string providerName = provider < 0 ? vendor : e2e::Narrow(mioutil::kProviderStrings[provider]);
    const size_t size = 31 * 1024 - 400 + rng.Next() % 800;

    std::string t = Format("; oem%d.inf - multi-port serial adapter driver package\r\n", kFirstInfNumber + index);
    t += "[Version]\r\nSignature=\"$WINDOWS NT$\"\r\nClass=Ports\r\n"
         "ClassGuid={4D36E978-E325-11CE-BFC1-08002BE10318}\r\nProvider=%ProviderName%\r\n";
    t += Format("CatalogFile=ser%05u.cat\r\nDriverVer=%02u/%02u/20%02u,%u.%u.%u.0\r\nPnpLockdown=1\r\n\r\n",
                rng.Next() % 100000, 1 + rng.Next() % 12, 1 + rng.Next() % 28, 10 + rng.Next() % 14,
                1 + rng.Next() % 9, rng.Next() % 20, rng.Next() % 9000);
    t += "[Manufacturer]\r\n%MfgName%=Models,NTamd64\r\n\r\n[SourceDisksNames]\r\n1=%DiskName%\r\n\r\n";
    std::string strings = "[Strings]\r\nProviderName=\"" + providerName + "\"\r\nMfgName=\"" + vendor +
                          "\"\r\nDiskName=\"" + vendor + " Installation Disk\"\r\n";
    for (int model = 0; t.size() + strings.size() < size - 200; ++model) {
        const unsigned device = rng.Next() % 0x10000;
        t += Format("[Models.NTamd64.%d]\r\n%%Dev%d.Desc%%=Install_%d,PCI\\VEN_%04X&DEV_%04X&SUBSYS_%08X\r\n\r\n",
                    model, model, model, rng.Next() % 0x10000, device, rng.Next());
        t += Format("[Install_%d.NT]\r\nCopyFiles=Drivers_Dir_%d\r\nAddReg=Install_%d.AddReg\r\n\r\n", model, model,
                    model);
        t += Format("[Install_%d.AddReg]\r\nHKR,,PortSubClass,1,01\r\n"
                    "HKR,,EnumPropPages32,,\"MsPorts.dll,SerialPortPropPageProvider\"\r\n"
                    "HKR,,DeviceType,0x10001,0x%X\r\nHKR,,MaxBaudRate,0x10001,%u\r\n\r\n",
                    model, rng.Next() % 64, 115200u << (rng.Next() % 4));
        t += Format("[Install_%d.NT.Services]\r\nAddService=ser%04x,0x00000002,Service_%d,EventLog_%d\r\n\r\n", model,
                    device, model, model);
        strings += Format("Dev%d.Desc=\"%s PCI Express %u-port serial adapter, rev. %u\"\r\n", model, vendor.c_str(),
                          2u << (rng.Next() % 4), rng.Next() % 16);
    }
    while (t.size() + strings.size() < size) t += ";\r\n";
    return t + "\r\n" + strings;
}

std::wstring InfName(int index, const wchar_t* extension) {
    return L"oem" + std::to_wstring(kFirstInfNumber + index) + extension;
}

bool IsCardEntry(int i) { return i % kCardEntryEvery == kCardEntryEvery / 2; }

std::wstring EntryName(int i) {
    wchar_t name[64];
    const unsigned h = static_cast<unsigned>(i) * 2654435761u;
    swprintf(name, 64, L"{%08X-%04X-4%03X-8%03X-%08X%04X}", h, i & 0xFFFF, (h >> 4) & 0xFFF, (h >> 16) & 0xFFF,
             h ^ 0x5A5A5A5Au, i);
    return name;
}

std::wstring EntryPath(int i) { return std::wstring(mioutil::kUninstallKeyPath) + L"\\" + EntryName(i); }

std::wstring UninstallStringOf(int i) {
    if (IsCardEntry(i)) {
        const std::wstring store = L"C:\\PROGRA~1\\DIFX\\7D3B2A40\\DPInst64.exe /u "
                                   L"C:\\Windows\\System32\\DriverStore\\FileRepository\\";
        switch ((i / kCardEntryEvery) % 5) {
            case 0: return store + L"krvpci.inf_amd64_neutral_5c1e\\krvpci.inf";
            case 1: return store + L"krvcard.inf_amd64_neutral_5c1e\\krvcard.inf";
            case 2: return store + L"mevport.inf_amd64_neutral_5c1e\\mevport.inf";
            case 3: return L"\"C:\\Program Files (x86)\\KORAV\\KRVInst.exe\" /uninstall";
            default: return L"\"C:\\Program Files\\Korav\\PCI_MultiIO_Driver\\uninst.exe\"";
        }
    }
    if (i % 3 == 0) return L"MsiExec.exe /X" + EntryName(i * 7 + 1);
    return L"\"C:\\Program Files\\Vendor " + std::to_wstring(i % 97) + L"\\Product " + std::to_wstring(i) +
           L"\\uninstall.exe\" /S";
}

void PutEntry(REGSAM view, int i) {
    const std::wstring path = EntryPath(i);
    const std::wstring vendor = L"Vendor " + std::to_wstring(i % 97);
    Must(e2e::SetText(view, path, L"DisplayName", L"Product " + std::to_wstring(i)));
    Must(e2e::SetText(view, path, L"DisplayVersion", std::to_wstring(i % 9) + L"." + std::to_wstring(i % 31) + L".0"));
    Must(e2e::SetText(view, path, L"Publisher", vendor));
    Must(e2e::SetText(view, path, L"InstallLocation", L"C:\\Program Files\\" + vendor));
    Must(e2e::SetText(view, path, mioutil::kUninstallStringValue, UninstallStringOf(i)));
}

}  // namespace

void Must(const testing::AssertionResult& done) {
    if (done) return;
    std::fprintf(stderr, "bench: %s\n", done.message());
    std::exit(2);
}

void MakeStash() {
    CreateDirectoryW(kStash.c_str(), nullptr);
    for (int i = 0; i < kMaxFiles; ++i) {
        Must(e2e::WriteBytes(kStash + L"\\" + InfName(i, L".inf"), InfText(i)));
        Must(e2e::WriteBytes(kStash + L"\\" + InfName(i, L".pnf"), std::string(4096, '\x01')));
    }
}

void ArrangeInfs(int n, bool onlyProviders) {
    for (int i = 0; i < kMaxFiles; ++i) {
        if (onlyProviders && ProviderOf(i) < 0) continue;
        for (const wchar_t* extension : {L".inf", L".pnf"}) {
            const std::wstring name = InfName(i, extension);
            const bool present = e2e::Exists(e2e::InfPath(name));
            if (i < n && !present) {
                Must(e2e::CopyTo(kStash + L"\\" + name, e2e::InfPath(name)));
            } else if (i >= n && present) {
                e2e::RemoveFileForce(e2e::InfPath(name));
            }
        }
    }
}

int ProviderFilesPresent(int n) {
    int present = 0;
    for (int i = 0; i < n; ++i) {
        if (ProviderOf(i) >= 0 && e2e::Exists(e2e::InfPath(InfName(i, L".inf")))) ++present;
    }
    return present;
}

void UninstallEntries::Arrange(int perView) {
    for (REGSAM view : kViews) {
        for (int i = present; i < perView; ++i) PutEntry(view, i);
        for (int i = perView; i < present; ++i) e2e::DeleteTree(view, EntryPath(i));
    }
    present = perView;
}

void UninstallEntries::RestoreCard() const {
    for (REGSAM view : kViews) {
        for (int i = 0; i < present; ++i) {
            if (IsCardEntry(i)) PutEntry(view, i);
        }
    }
    if (present > 0) Must(e2e::CreateKey(e2e::kNative, mioutil::kVendorSetupKeyPath));
}

int UninstallEntries::CardPresent() const {
    int count = 0;
    for (REGSAM view : kViews) {
        for (int i = 0; i < present; ++i) count += IsCardEntry(i) && e2e::KeyExists(view, EntryPath(i));
    }
    return count;
}

}  // namespace bench
