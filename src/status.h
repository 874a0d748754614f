// "-Status": a report on standard output that changes nothing, declared at the
// bottom so that each operation can tell what it would do without reaching up to
// src/app, which writes it.
#pragma once

namespace mioutil {

/// One line of the report, formatted as swprintf does (%ls for wide texts), in the
/// console's code page (the OEM code page where there is no console), ending with a
/// line break. A line says what it is about first; a text read from the machine
/// follows it through LogQuoted (log_text.h). Every character that would forge a
/// line or hide itself is written as the code page's replacement character.
void StatusLine(const wchar_t* format, ...);

}  // namespace mioutil
