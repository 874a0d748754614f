#include "drivers/recorded_packages.h"

#include <windows.h>

#include <cwchar>

#include "app/run_log.h"
#include "drivers/dpinst_command.h"
#include "text.h"
#include "names.h"
#include "platform/unique_handle.h"

namespace mioutil {

namespace {

constexpr DWORD kNameCapacity = static_cast<DWORD>(kPathChars);
constexpr DWORD kRecordBytes = 522;  // what the card's installer writes for every record

// Where DPInst.exe is looked for, and the folder it runs in: no environment
// variable is asked (a user can set SystemDrive for an elevated process too),
// the drive is that of the Windows folder.
struct DpinstProgram {
    wchar_t drive[4];
    wchar_t path[kPathChars];
    wchar_t system[kPathChars];
    bool ready;
};

void PrepareDpinstProgram(DpinstProgram& program) {
    wchar_t windows[kPathChars] = {};
    const UINT windowsLength = GetWindowsDirectoryW(windows, static_cast<UINT>(kPathChars));
    const UINT systemLength = GetSystemDirectoryW(program.system, static_cast<UINT>(kPathChars));
    program.ready = windowsLength > 0 && windowsLength < kPathChars && systemLength > 0 &&
                    systemLength < kPathChars && DriveOfFolder(windows, windowsLength, program.drive, 4) &&
                    BuildDpinstProgramPath(program.drive, kDpinstFolder, kDpinstTool, program.path, kPathChars);
}

// Starts DPInst.exe itself, no command interpreter between, and waits for it.
// Its outcome is not ours to judge; the run log tells it.
void RunDpinst(const DpinstProgram& program, wchar_t* commandLine, const wchar_t* record) {
    RunLog(L"%ls: running %ls", record, commandLine);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, program.system, &startup,
                        &process)) {
        wchar_t meaning[kPathChars] = {};
        const DWORD error = GetLastError();
        RunLog(L"%ls: %ls could not be started, error %lu (%ls); the record goes all the same", record, program.path,
               error, ErrorMeaning(error, meaning, kPathChars));
        return;
    }
    UniqueKernelHandle thread(process.hThread);
    UniqueKernelHandle running(process.hProcess);
    WaitForSingleObject(running.get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(running.get(), &exitCode);
    RunLog(L"%ls: DPInst.exe ended with exit code 0x%08lX; the record goes", record, exitCode);
}

}  // namespace

uint32_t UninstallRecordedPackages(const wchar_t* uninstallKeyPath, const wchar_t* entryName) {
    UniqueRegKey uninstallKey;
    UniqueRegKey entry;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallKeyPath, 0, KEY_ALL_ACCESS, uninstallKey.put()) != ERROR_SUCCESS ||
        RegOpenKeyExW(uninstallKey.get(), entryName, 0, KEY_ALL_ACCESS, entry.put()) != ERROR_SUCCESS) {
        RunLog(L"uninstall entry \"%ls\": not there (or not open for full access): no recorded driver-store "
               L"package to replay", entryName);
        return kStatusNotFound;
    }

    // The records are numbered from 0; the number of values, whatever their
    // names, bounds the indices looked for.
    wchar_t name[kNameCapacity] = {};
    DWORD count = 0;
    for (;; ++count) {
        DWORD nameLength = kNameCapacity;
        if (RegEnumValueW(entry.get(), count, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
    }

    DpinstProgram program = {};
    PrepareDpinstProgram(program);
    for (DWORD i = count; i-- > 0;) {
        std::wmemset(name, L'\0', kNameCapacity);
        const int n = std::swprintf(name, kNameCapacity, kDriverStorePathFormat, static_cast<int>(i));
        if (n < 0 || n >= static_cast<int>(kNameCapacity)) continue;

        wchar_t data[kRecordBytes / sizeof(wchar_t)] = {};
        DWORD size = kRecordBytes;
        if (RegQueryValueExW(entry.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) !=
            ERROR_SUCCESS) {
            continue;
        }
        // The path ends at its first zero, at the latest where the returned bytes end.
        const size_t pathLength = TextLength(data, size / sizeof(wchar_t));

        // A path that does not fit the command, or that an interpreter would act
        // on, is not run; its record stays, and with it the entry.
        wchar_t command[kPathChars] = {};
        if (!program.ready ||
            !BuildDpinstCommandLine(program.drive, kDpinstFolder, kDpinstTool, data, pathLength, command, kPathChars)) {
            RunLog(L"%ls: \"%.*ls\" not run, the record stays: %ls", name, static_cast<int>(pathLength), data,
                   !program.ready ? L"the Windows folder gives no drive for DPInst.exe"
                   : HasInterpreterSpecialCharacter(data, pathLength)
                       ? L"it holds a character a command interpreter acts on"
                       : L"the command would be longer than 259 characters");
            continue;
        }
        RunDpinst(program, command, name);
        RegDeleteValueW(entry.get(), name);
    }

    // Only an entry that is known to be empty goes: a value whose name is too long
    // for the buffer also makes the enumeration fail, with ERROR_MORE_DATA.
    DWORD nameLength = kNameCapacity;
    if (RegEnumValueW(entry.get(), 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr) == ERROR_NO_MORE_ITEMS) {
        const LSTATUS status = RegDeleteKeyW(uninstallKey.get(), entryName);
        RunLog(status == ERROR_SUCCESS ? L"uninstall entry \"%ls\": empty, deleted"
                                       : L"uninstall entry \"%ls\": empty, but not deleted (error %ld)",
               entryName, static_cast<long>(status));
    } else {
        RunLog(L"uninstall entry \"%ls\": kept, it still holds values", entryName);
    }
    return kExitOk;
}

}  // namespace mioutil
