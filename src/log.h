// The run log's sink, declared at the bottom so that every layer may report what it
// did without reaching up to src/app, which opens and closes the file (run_log.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace mioutil {

/// One line, formatted as swprintf does (%ls for wide texts). A line says its outcome
/// first; any text read from the machine follows it through LogQuoted (log_text.h).
/// A line too long for the line buffer ends with a visible cut mark. Keeps the
/// thread's last error; a no-op where the log could not be opened.
void RunLog(const wchar_t* format, ...);

/// The system's words for an error or status code (FormatMessage), on one line and
/// shortened to kLogMeaningChars (log_text.h); "no text for this code" where it has none.
const wchar_t* ErrorMeaning(uint32_t code, wchar_t* out, size_t capacity);

}  // namespace mioutil
