#include "app/run_log.h"

#include <windows.h>

#include <cstdarg>
#include <cwchar>

#include "log_text.h"
#include "platform/platform_probe.h"
#include "platform/unique_handle.h"
#include "text.h"
#include "version.h"

namespace mioutil {

namespace {

constexpr ULONGLONG kRotateBytes = 1024 * 1024;

// The one log of this run; closed by EndRunLog, and by the system at the latest.
HANDLE g_log = INVALID_HANDLE_VALUE;

// A section written whole: its bytes until EndRunLog.
bool g_keepSection = false;
unsigned char g_section[16 * 1024];
size_t g_sectionBytes = 0;

void WriteBytes(const unsigned char* bytes, size_t count) {
    DWORD written = 0;
    WriteFile(g_log, bytes, static_cast<DWORD>(count), &written, nullptr);
}

void WriteKeptSection() {
    if (g_sectionBytes == 0) return;
    WriteBytes(g_section, g_sectionBytes);
    g_sectionBytes = 0;
}

bool LogPath(wchar_t* out, const wchar_t* name) {
    const UINT length = GetWindowsDirectoryW(out, static_cast<UINT>(kPathChars));
    if (length == 0 || length >= kPathChars) return false;
    TextBuffer text;
    TextStart(text, out + length, kPathChars - length);
    TextAppend(text, name);
    return TextFinish(text);
}

void WriteLine(const wchar_t* line) {
    unsigned char bytes[kLogLineChars * 3 + 2];
    const size_t count = EncodeLogLine(line, TextLength(line, kLogLineChars), bytes, sizeof(bytes));
    if (!g_keepSection) return WriteBytes(bytes, count);
    if (count > sizeof(g_section) - g_sectionBytes) WriteKeptSection();
    for (size_t i = 0; i < count; ++i) g_section[g_sectionBytes++] = bytes[i];
}

}  // namespace

void BeginRunLog(SectionWrites writes) {
    const LastErrorGuard keep;
    wchar_t path[kPathChars] = {};
    wchar_t old[kPathChars] = {};
    if (!LogPath(path, L"\\mioutil.log") || !LogPath(old, L"\\mioutil.log.old")) return;

    // A rotation that fails (the old name taken by a folder, or locked) is told in
    // the section; the log is written all the same, past its size.
    DWORD rotationError = ERROR_SUCCESS;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (GetFileAttributesExW(path, GetFileExInfoStandard, &data) &&
        ((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) > kRotateBytes &&
        !MoveFileExW(path, old, MOVEFILE_REPLACE_EXISTING)) {
        rotationError = GetLastError();
    }
    // Others may read it while it is written. Runs that hold the run lock take turns;
    // a rejected command line, which does not, writes beside them (every write is an
    // append, whole, at the end of the file), so its section goes in one write.
    g_log = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_log == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER size = {};
    if (GetFileSizeEx(g_log, &size) && size.QuadPart == 0) {
        static const unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
        WriteBytes(kByteOrderMark, sizeof(kByteOrderMark));
    }
    g_keepSection = writes == SectionWrites::kWhole;

    SYSTEMTIME now = {};
    GetLocalTime(&now);
    RunLog(L"==== %04u-%02u-%02u %02u:%02u:%02u  mioutil %hs", now.wYear, now.wMonth, now.wDay, now.wHour,
           now.wMinute, now.wSecond, MIOUTIL_VERSION_TEXT);
    constexpr size_t kQuotedCapacity = LogQuotedCapacity(kLogLongTextChars);
    wchar_t quoted[kQuotedCapacity];
    RunLog(L"command line: %ls", LogQuoted(GetCommandLineW(), kLogLongTextChars, quoted, kQuotedCapacity));
    const PlatformFacts facts = GetPlatformFacts();
    RunLog(L"Windows %lu.%lu build %lu, product type %lu, processor architecture %lu: platform class 0x%08lX",
           static_cast<unsigned long>(facts.major), static_cast<unsigned long>(facts.minor),
           static_cast<unsigned long>(facts.build), static_cast<unsigned long>(facts.productType),
           static_cast<unsigned long>(facts.architecture), static_cast<unsigned long>(facts.platformClass));
    RunLog(RunsAsAdministrator() ? L"runs as administrator: yes"
                                 : L"runs as administrator: no (the system will refuse most changes)");
    if (rotationError != ERROR_SUCCESS) {
        wchar_t meaning[kPathChars] = {};
        LogQuote oldName;
        RunLog(L"log not rotated, error %lu (%ls): it is past 1 MiB and this section is added to it all the same; "
               L"it could not be renamed to %ls",
               static_cast<unsigned long>(rotationError), ErrorMeaning(rotationError, meaning, kPathChars),
               LogQuoted(old, oldName));
    }
}

void RunLog(const wchar_t* format, ...) {
    if (g_log == INVALID_HANDLE_VALUE) return;
    const LastErrorGuard keep;
    wchar_t line[kLogLineChars] = {};
    va_list args;
    va_start(args, format);
    FormatLogLine(line, format, args);
    va_end(args);
    WriteLine(line);
}

const wchar_t* ErrorMeaning(uint32_t code, wchar_t* out, size_t capacity) {
    const LastErrorGuard keep;
    wchar_t words[kLogLineChars] = {};
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, words,
                                  static_cast<DWORD>(kLogLineChars), nullptr);
    if (length == 0 || length >= kLogLineChars || capacity == 0) {
        TextBuffer text;
        TextStart(text, out, capacity);
        TextAppend(text, L"no text for this code");
        TextFinish(text);
        return out;
    }
    // The message ends with a line break (and sometimes a full stop before it).
    while (length > 0 && (words[length - 1] == L'\r' || words[length - 1] == L'\n' || words[length - 1] == L' ' ||
                          words[length - 1] == L'.')) {
        words[--length] = L'\0';
    }
    ShortenLogText(words, capacity - 1 < kLogMeaningChars ? capacity - 1 : kLogMeaningChars);
    TextBuffer text;
    TextStart(text, out, capacity);
    TextAppend(text, words);
    TextFinish(text);
    return out;
}

void EndRunLog(uint32_t exitCode) {
    if (g_log == INVALID_HANDLE_VALUE) return;
    RunLog(L"exit code %lu (0x%08lX)", static_cast<unsigned long>(exitCode), static_cast<unsigned long>(exitCode));
    WriteKeptSection();
    CloseHandle(g_log);
    g_log = INVALID_HANDLE_VALUE;
}

}  // namespace mioutil
