#include "status.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "log_text.h"
#include "text.h"

namespace mioutil {

void StatusLine(const wchar_t* format, ...) {
    wchar_t line[kLogLineChars] = {};
    va_list args;
    va_start(args, format);
    FormatLogLine(line, format, args);
    va_end(args);
    wchar_t shown[kLogLineChars] = {};
    const size_t length = ScrubText(line, TextLength(line, kLogLineChars), shown, kLogLineChars);
    // What a console shows, or what findstr reads from a pipe: the console's code
    // page, the OEM code page where the process has no console.
    UINT codePage = GetConsoleOutputCP();
    if (codePage == 0) codePage = GetOEMCP();
    char bytes[kLogLineChars * 4] = {};
    const int count = WideCharToMultiByte(codePage, 0, shown, static_cast<int>(length), bytes,
                                          static_cast<int>(sizeof(bytes)) - 1, nullptr, nullptr);
    if (count > 0) std::fwrite(bytes, 1, static_cast<size_t>(count), stdout);
    std::fputc('\n', stdout);  // text mode: CR LF
}

}  // namespace mioutil
