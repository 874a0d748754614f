// The program and command line that replay one recorded driver-store path
// through DPInst.exe. Pure: no <windows.h>.
#pragma once

#include <cstddef>

namespace mioutil {

/// Whether a command interpreter would take any character of the text as more
/// than a character of a path: " & | < > ^ % or a control character.
bool HasInterpreterSpecialCharacter(const wchar_t* text, size_t length);

/// The drive of the Windows folder ("C:" of "C:\Windows") into `out`; false, with
/// `out` left empty, when the folder does not start with a drive letter and a colon.
bool DriveOfFolder(const wchar_t* folder, size_t length, wchar_t* out, size_t capacity);

/// <drive>\Program Files\<folder>\<tool>, whole or not at all.
bool BuildDpinstProgramPath(const wchar_t* drive, const wchar_t* folder, const wchar_t* tool, wchar_t* out,
                            size_t capacity);

/// Builds  "<drive>\Program Files\<folder>\<tool>" /s /u <path>  with the path
/// unquoted: the command line DPInst.exe has always received. Returns false and
/// leaves `out` empty when the path holds a character an interpreter would act on
/// (such a path is never run, whoever starts the program), or when the command
/// with its terminating zero does not fit in `capacity` characters.
bool BuildDpinstCommandLine(const wchar_t* drive, const wchar_t* folder, const wchar_t* tool, const wchar_t* path,
                            size_t pathLength, wchar_t* out, size_t capacity);

}  // namespace mioutil
