#include "drivers/recorded_packages.h"

#include <windows.h>

#include <cwchar>

#include "log.h"
#include "log_text.h"
#include "drivers/dpinst_command.h"
#include "text.h"
#include "names.h"
#include "status.h"
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

// The program and the path, quoted for a line. They came to a command of at most
// 259 characters, so both fit the line whole.
struct ProgramAndPath {
    wchar_t program[LogQuotedCapacity(kLogLongTextChars)];
    wchar_t path[LogQuotedCapacity(kLogLongTextChars)];
};

void QuoteProgramAndPath(const DpinstProgram& program, const wchar_t* path, size_t pathLength, ProgramAndPath& out) {
    LogQuoted(program.path, kLogLongTextChars, out.program, LogQuotedCapacity(kLogLongTextChars));
    LogQuoted(path, pathLength, kLogLongTextChars, out.path, LogQuotedCapacity(kLogLongTextChars));
}

// Starts DPInst.exe itself, no command interpreter between, and waits for it.
// Its outcome is not ours to judge; the run log tells it.
void RunDpinst(const DpinstProgram& program, wchar_t* commandLine, const wchar_t* record, const wchar_t* path,
               size_t pathLength) {
    ProgramAndPath quoted;
    QuoteProgramAndPath(program, path, pathLength, quoted);
    RunLog(L"%ls: starting DPInst.exe /s /u, program %ls, path %ls", record, quoted.program, quoted.path);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, program.system, &startup,
                        &process)) {
        wchar_t meaning[kPathChars] = {};
        const DWORD error = GetLastError();
        RunLog(L"%ls: DPInst.exe not started, error %lu (%ls); the record goes all the same: program %ls", record,
               error, ErrorMeaning(error, meaning, kPathChars), quoted.program);
        return;
    }
    UniqueKernelHandle thread(process.hThread);
    UniqueKernelHandle running(process.hProcess);
    WaitForSingleObject(running.get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(running.get(), &exitCode);
    RunLog(L"%ls: DPInst.exe ended with exit code 0x%08lX; the record goes: path %ls", record, exitCode, quoted.path);
}

// What becomes of one record the walk read.
enum class RecordVerdict {
    kRuns,        // handed to DPInst.exe, then deleted
    kTooLong,     // more bytes than the card's installer writes: the path is not known whole
    kUnreadable,  // the read failed otherwise
    kRefused,     // a path that does not fit the command, or that an interpreter would act on
};

struct RecordItem {
    const wchar_t* name;
    RecordVerdict verdict;
    const wchar_t* path;
    size_t pathLength;
    wchar_t* command;  // kRuns: the command line, which CreateProcessW may write to
    DWORD size;        // kTooLong: the bytes the value holds
    LSTATUS error;     // kUnreadable
};

// Why a record is not run, in the run log's words (and -Status's).
const wchar_t* RefusalReason(const DpinstProgram& program, const RecordItem& item, wchar_t* out, size_t capacity) {
    wchar_t meaning[kPathChars] = {};
    wchar_t quoted[LogQuotedCapacity(kLogLongTextChars)];
    int n = 0;
    switch (item.verdict) {
        case RecordVerdict::kTooLong:
            n = std::swprintf(out, capacity, L"it holds %lu bytes, more than the %lu the card's installer writes",
                              static_cast<unsigned long>(item.size), static_cast<unsigned long>(kRecordBytes));
            break;
        case RecordVerdict::kUnreadable:
            n = std::swprintf(out, capacity, L"it could not be read, error %ld (%ls)", static_cast<long>(item.error),
                              ErrorMeaning(static_cast<uint32_t>(item.error), meaning, kPathChars));
            break;
        case RecordVerdict::kRefused:
        case RecordVerdict::kRuns:
            n = std::swprintf(out, capacity, L"%ls: %ls",
                              !program.ready ? L"the Windows folder gives no drive for DPInst.exe"
                              : HasInterpreterSpecialCharacter(item.path, item.pathLength)
                                  ? L"it holds a character a command interpreter acts on"
                                  : L"the command would be longer than 259 characters",
                              LogQuoted(item.path, item.pathLength, kLogLongTextChars, quoted,
                                        LogQuotedCapacity(kLogLongTextChars)));
            break;
    }
    if (n < 0 || static_cast<size_t>(n) >= capacity) MarkLogLineCut(out, capacity);
    return out;
}

struct RecordWalk {
    DWORD count;      // values counted, whatever their names: the indices looked for lie below
    bool countedAll;  // the count ended with the last value, not at one that could not be read
};

// Hands each record of the entry to `visit` with its verdict, highest index first.
// The records are numbered from 0; the number of values bounds the indices looked for.
template <typename Visit>
RecordWalk WalkRecords(HKEY entry, const DpinstProgram& program, Visit visit) {
    wchar_t name[kNameCapacity] = {};
    RecordWalk walk = {0, false};
    for (;; ++walk.count) {
        DWORD nameLength = kNameCapacity;
        const LSTATUS status = RegEnumValueW(entry, walk.count, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            walk.countedAll = status == ERROR_NO_MORE_ITEMS;
            break;
        }
    }
    for (DWORD i = walk.count; i-- > 0;) {
        std::wmemset(name, L'\0', kNameCapacity);
        const int n = std::swprintf(name, kNameCapacity, kDriverStorePathFormat, static_cast<int>(i));
        if (n < 0 || n >= static_cast<int>(kNameCapacity)) continue;

        wchar_t data[kRecordBytes / sizeof(wchar_t)] = {};
        DWORD size = kRecordBytes;
        const LSTATUS read = RegQueryValueExW(entry, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
        // Most indices below the count of values are simply not records.
        if (read == ERROR_FILE_NOT_FOUND) continue;
        RecordItem item = {name, RecordVerdict::kRuns, data, 0, nullptr, size, read};
        wchar_t command[kPathChars] = {};
        if (read == ERROR_MORE_DATA) {
            item.verdict = RecordVerdict::kTooLong;
        } else if (read != ERROR_SUCCESS) {
            item.verdict = RecordVerdict::kUnreadable;
        } else {
            // The path ends at its first zero, at the latest where the returned bytes end.
            item.pathLength = TextLength(data, size / sizeof(wchar_t));
            // A path that does not fit the command, or that an interpreter would act
            // on, is not run; its record stays, and with it the entry.
            const bool built = program.ready && BuildDpinstCommandLine(program.drive, kDpinstFolder, kDpinstTool, data,
                                                                       item.pathLength, command, kPathChars);
            item.verdict = built ? RecordVerdict::kRuns : RecordVerdict::kRefused;
            item.command = command;
        }
        visit(item);
    }
    return walk;
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

    DpinstProgram program = {};
    PrepareDpinstProgram(program);
    bool refused = false;
    WalkRecords(entry.get(), program, [&](const RecordItem& item) {
        if (item.verdict != RecordVerdict::kRuns) {
            wchar_t reason[kLogLineChars];
            RunLog(L"%ls: not run, the record stays: %ls", item.name,
                   RefusalReason(program, item, reason, kLogLineChars));
            refused = true;
            return;
        }
        RunDpinst(program, item.command, item.name, item.path, item.pathLength);
        RegDeleteValueW(entry.get(), item.name);
    });

    // Only an entry that is known to be empty goes: a value whose name is too long
    // for the buffer also makes the enumeration fail, with ERROR_MORE_DATA.
    wchar_t name[kNameCapacity] = {};
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

bool ReportRecordedPackages(const wchar_t* uninstallKeyPath, const wchar_t* entryName) {
    UniqueRegKey uninstallKey;
    UniqueRegKey entry;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallKeyPath, 0, KEY_READ, uninstallKey.put()) != ERROR_SUCCESS ||
        RegOpenKeyExW(uninstallKey.get(), entryName, 0, KEY_READ, entry.put()) != ERROR_SUCCESS) {
        StatusLine(L"record: none to replay: uninstall entry \"%ls\" not there (or not open for reading)", entryName);
        return false;
    }

    DpinstProgram program = {};
    PrepareDpinstProgram(program);
    const bool programThere = program.ready && GetFileAttributesW(program.path) != INVALID_FILE_ATTRIBUTES;
    bool refused = false;
    DWORD runs = 0;
    const RecordWalk walk = WalkRecords(entry.get(), program, [&](const RecordItem& item) {
        if (item.verdict != RecordVerdict::kRuns) {
            wchar_t reason[kLogLineChars];
            StatusLine(L"record %ls: would not be run, the record stays: %ls", item.name,
                       RefusalReason(program, item, reason, kLogLineChars));
            refused = true;
            return;
        }
        ++runs;
        ProgramAndPath quoted;
        QuoteProgramAndPath(program, item.path, item.pathLength, quoted);
        StatusLine(programThere ? L"record %ls: DPInst.exe /s /u would be run, the record goes: program %ls, path %ls"
                                : L"record %ls: DPInst.exe is not there, the record would go all the same: program "
                                  L"%ls, path %ls",
                   item.name, quoted.program, quoted.path);
    });
    // Every record run goes; the entry with them once nothing else is left in it.
    if (walk.countedAll && runs == walk.count) {
        StatusLine(L"record: would be deleted, it would be empty: uninstall entry \"%ls\"", entryName);
    } else {
        StatusLine(L"record: would be kept, it would still hold values: uninstall entry \"%ls\"", entryName);
    }
    return refused;
}

}  // namespace mioutil
