#include "drivers/recorded_packages.h"

#include <windows.h>

#include <cwchar>

#include "log.h"
#include "log_text.h"
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
// Its outcome is not ours to judge; the run log tells it. The program and the path
// came to a command of at most 259 characters, so both fit the line whole.
void RunDpinst(const DpinstProgram& program, wchar_t* commandLine, const wchar_t* record, const wchar_t* path,
               size_t pathLength) {
    constexpr size_t kCapacity = LogQuotedCapacity(kLogLongTextChars);
    wchar_t quotedProgram[kCapacity];
    wchar_t quotedPath[kCapacity];
    LogQuoted(program.path, kLogLongTextChars, quotedProgram, kCapacity);
    LogQuoted(path, pathLength, kLogLongTextChars, quotedPath, kCapacity);
    RunLog(L"%ls: starting DPInst.exe /s /u, program %ls, path %ls", record, quotedProgram, quotedPath);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, program.system, &startup,
                        &process)) {
        wchar_t meaning[kPathChars] = {};
        const DWORD error = GetLastError();
        RunLog(L"%ls: DPInst.exe not started, error %lu (%ls); the record goes all the same: program %ls", record,
               error, ErrorMeaning(error, meaning, kPathChars), quotedProgram);
        return;
    }
    UniqueKernelHandle thread(process.hThread);
    UniqueKernelHandle running(process.hProcess);
    WaitForSingleObject(running.get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(running.get(), &exitCode);
    RunLog(L"%ls: DPInst.exe ended with exit code 0x%08lX; the record goes: path %ls", record, exitCode, quotedPath);
}

}  // namespace

bool UninstallRecordedPackages(const wchar_t* uninstallKeyPath, const wchar_t* entryName) {
    UniqueRegKey uninstallKey;
    UniqueRegKey entry;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallKeyPath, 0, KEY_ALL_ACCESS, uninstallKey.put()) != ERROR_SUCCESS ||
        RegOpenKeyExW(uninstallKey.get(), entryName, 0, KEY_ALL_ACCESS, entry.put()) != ERROR_SUCCESS) {
        RunLog(L"no recorded driver-store package to replay: uninstall entry \"%ls\" not there (or not open for "
               L"full access)", entryName);
        return false;
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
    bool refused = false;
    for (DWORD i = count; i-- > 0;) {
        std::wmemset(name, L'\0', kNameCapacity);
        const int n = std::swprintf(name, kNameCapacity, kDriverStorePathFormat, static_cast<int>(i));
        if (n < 0 || n >= static_cast<int>(kNameCapacity)) continue;

        wchar_t data[kRecordBytes / sizeof(wchar_t)] = {};
        DWORD size = kRecordBytes;
        const LSTATUS read =
            RegQueryValueExW(entry.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
        if (read == ERROR_MORE_DATA) {
            // Not what the card's installer writes: the path is not known whole.
            RunLog(L"%ls: not run, the record stays: it holds %lu bytes, more than the %lu the card's installer "
                   L"writes",
                   name, static_cast<unsigned long>(size), static_cast<unsigned long>(kRecordBytes));
            refused = true;
            continue;
        }
        if (read != ERROR_SUCCESS) {
            // Most indices below the count of values are simply not records.
            if (read != ERROR_FILE_NOT_FOUND) {
                wchar_t meaning[kPathChars] = {};
                RunLog(L"%ls: not run, the record stays: it could not be read, error %ld (%ls)", name,
                       static_cast<long>(read), ErrorMeaning(static_cast<uint32_t>(read), meaning, kPathChars));
                refused = true;
            }
            continue;
        }
        // The path ends at its first zero, at the latest where the returned bytes end.
        const size_t pathLength = TextLength(data, size / sizeof(wchar_t));

        // A path that does not fit the command, or that an interpreter would act
        // on, is not run; its record stays, and with it the entry.
        wchar_t command[kPathChars] = {};
        if (!program.ready ||
            !BuildDpinstCommandLine(program.drive, kDpinstFolder, kDpinstTool, data, pathLength, command, kPathChars)) {
            wchar_t quoted[LogQuotedCapacity(kLogLongTextChars)];
            RunLog(L"%ls: not run, the record stays: %ls: %ls", name,
                   !program.ready ? L"the Windows folder gives no drive for DPInst.exe"
                   : HasInterpreterSpecialCharacter(data, pathLength)
                       ? L"it holds a character a command interpreter acts on"
                       : L"the command would be longer than 259 characters",
                   LogQuoted(data, pathLength, kLogLongTextChars, quoted, LogQuotedCapacity(kLogLongTextChars)));
            refused = true;
            continue;
        }
        RunDpinst(program, command, name, data, pathLength);
        RegDeleteValueW(entry.get(), name);
    }

    // Only an entry that is known to be empty goes: a value whose name is too long
    // for the buffer also makes the enumeration fail, with ERROR_MORE_DATA.
    DWORD nameLength = kNameCapacity;
    if (RegEnumValueW(entry.get(), 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr) == ERROR_NO_MORE_ITEMS) {
        const LSTATUS status = RegDeleteKeyW(uninstallKey.get(), entryName);
        if (status == ERROR_SUCCESS) {
            RunLog(L"deleted, it is empty: uninstall entry \"%ls\"", entryName);
        } else {
            RunLog(L"not deleted, error %ld, though it is empty: uninstall entry \"%ls\"", static_cast<long>(status),
                   entryName);
        }
    } else {
        RunLog(L"kept, it still holds values: uninstall entry \"%ls\"", entryName);
    }
    return refused;
}

}  // namespace mioutil
