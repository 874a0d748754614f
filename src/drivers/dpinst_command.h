// The command that replays one recorded driver-store path through DPInst.exe.
// Pure: no <windows.h>.
#pragma once

#include <cstddef>

namespace mioutil {

/// Whether the command interpreter would take any character of the text as more
/// than a character of a path: " & | < > ^ % or a control character.
bool HasInterpreterSpecialCharacter(const wchar_t* text, size_t length);

/// Builds  ""%SystemDrive%\Program Files\<folder>\<tool>"" /s /u <path>  with the
/// path unquoted (the interpreter strips the outer pair of quotes and expands
/// %SystemDrive%). Returns false and leaves `out` empty when the path holds a
/// character the interpreter acts on, or when the command with its terminating
/// zero does not fit in `capacity` characters: such a path is never run.
bool BuildDpinstCommandLine(const wchar_t* folder, const wchar_t* tool, const wchar_t* path, size_t pathLength,
                            wchar_t* out, size_t capacity);

}  // namespace mioutil
