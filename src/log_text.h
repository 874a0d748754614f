// Lines of the run log as bytes: UTF-8 with CR LF, readable in Notepad on every
// Windows the tool supports. Pure: no <windows.h>.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace mioutil {

/// Room for one line of the run log, its terminating zero included.
inline constexpr size_t kLogLineChars = 512;

/// What ends a line that was too long for its buffer.
inline constexpr const wchar_t* kLogCutMark = L" [...cut]";

/// The text[0, length) with every character EncodeLogLine writes as U+FFFD
/// replaced by it, into `out` (zero-ended, at most `capacity` - 1 characters, never
/// half a surrogate pair); returns its length.
size_t ScrubText(const wchar_t* text, size_t length, wchar_t* out, size_t capacity);

/// Formats a line as vswprintf does into kLogLineChars; a line too long for it ends with the cut mark.
void FormatLogLine(wchar_t* line, const wchar_t* format, va_list args);

/// Ends a line that did not fit in `capacity` characters with the cut mark.
void MarkLogLineCut(wchar_t* line, size_t capacity);

/// The UTF-8 bytes of the UTF-16 text[0, length) and CR LF. Every C0 and C1 control
/// character, U+2028 and U+2029 (a value may hold a line break that would forge a
/// line), every format character (general category Cf: U+200B, U+FEFF, U+00AD, the
/// tags U+E0000..U+E007F, the bidirectional controls, ...: invisible, or reordering
/// what a reader sees) and unpaired surrogates become U+FFFD. Writes at most `capacity`
/// bytes, never part of a character, and always ends with CR LF when capacity allows
/// 2 bytes; returns the count.
size_t EncodeLogLine(const wchar_t* text, size_t length, unsigned char* out, size_t capacity);

// Texts read from the machine (names, paths, record values, the command line) stand
// in a line after its outcome, in double quotes, with every quote inside doubled, so
// that where the text ends is never in doubt. A text longer than its bound is
// shortened at the bound and the quotes are followed by the mark
// "…[+N chars]", N the characters left out.

/// Characters of a machine text shown in a line that holds up to three of them.
inline constexpr size_t kLogTextChars = 100;
/// Characters shown of the one machine text of a line that holds no other (the command line).
inline constexpr size_t kLogLongTextChars = 320;
/// Characters shown of the system's words for an error code.
inline constexpr size_t kLogMeaningChars = 80;

/// Room for the quoted form of a text shown up to `maxChars` characters: the quotes,
/// the mark and the terminating zero included (the mark's count of any size_t).
constexpr size_t LogQuotedCapacity(size_t maxChars) { return maxChars + 2 + 10 + 20 + 1; }

/// Width of a quoted form in a line: the tool's texts never exceed 32767 characters,
/// so the mark's count has at most 5 digits.
constexpr size_t LogQuotedWidth(size_t maxChars) { return maxChars + 2 + 15; }

// A line is its fixed words, at most three quoted texts and one error meaning; it
// must fit the line whole. The one-text lines have still more room.
static_assert(3 * LogQuotedWidth(kLogTextChars) + kLogMeaningChars + 70 < kLogLineChars, "three texts fit a line");
static_assert(LogQuotedWidth(kLogLongTextChars) + kLogMeaningChars + 70 < kLogLineChars, "a long text fits a line");

/// The quoted, bounded form of text[0, length) in `out` (see above); returns `out`.
/// At most `maxChars` characters of the form stand between its quotes (a doubled
/// quote counts two), never half of a surrogate pair or of a doubled quote. Where
/// `capacity` is below LogQuotedCapacity(maxChars) the bound shrinks to fit it.
const wchar_t* LogQuoted(const wchar_t* text, size_t length, size_t maxChars, wchar_t* out, size_t capacity);

/// The same for a text that ends at its first zero (at most 32767 characters are looked at).
const wchar_t* LogQuoted(const wchar_t* text, size_t maxChars, wchar_t* out, size_t capacity);

/// Room for one quoted machine text of a line (kLogTextChars).
struct LogQuote {
    wchar_t chars[LogQuotedCapacity(kLogTextChars)];
};

/// The quoted form of a zero-ended text, bounded to kLogTextChars.
inline const wchar_t* LogQuoted(const wchar_t* text, LogQuote& out) {
    return LogQuoted(text, kLogTextChars, out.chars, LogQuotedCapacity(kLogTextChars));
}

/// Shortens a zero-ended text in place to at most `maxChars` characters, the last
/// of them "…" where something was left out (for the system's words for an error).
void ShortenLogText(wchar_t* text, size_t maxChars);

}  // namespace mioutil
