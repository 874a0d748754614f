// The run log: every run appends one section to mioutil.log in the Windows folder,
// an account for the admin of what it did and why. It never changes what the tool
// does: where the file cannot be written, every call is a no-op.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mioutil {

/// Opens the log (renaming one past 1 MiB to mioutil.log.old first) and writes the
/// section's head: local time, version, command line, Windows, platform class and
/// whether the process runs as an administrator.
void BeginRunLog();

/// One line, formatted as swprintf does (%ls for wide texts). A line says its outcome
/// first; any text read from the machine follows it through LogQuoted (log_text.h).
/// A line too long for the line buffer ends with a visible cut mark. Keeps the
/// thread's last error.
void RunLog(const wchar_t* format, ...);

/// The system's words for an error or status code (FormatMessage), on one line and
/// shortened to kLogMeaningChars (log_text.h); "no text for this code" where it has none.
const wchar_t* ErrorMeaning(uint32_t code, wchar_t* out, size_t capacity);

/// The section's last line, with the exit code; closes the log.
void EndRunLog(uint32_t exitCode);

}  // namespace mioutil
