// Paths of the driver-removal steps, built whole or not at all. Pure: no <windows.h>.
#pragma once

#include <cstddef>

namespace mioutil {

/// "<folder>\<name>" into `out`. False, with `out` left empty, when it does not
/// fit in `capacity` characters with its terminating zero.
bool JoinPath(const wchar_t* folder, size_t folderLength, const wchar_t* name, size_t nameLength, wchar_t* out,
              size_t capacity);

/// The precompiled twin of an INF: the path without its last four characters
/// (".inf"), followed by ".pnf". False, with `out` left empty, for a path of
/// fewer than four characters or one that does not fit.
bool PnfPathOf(const wchar_t* infPath, size_t length, wchar_t* out, size_t capacity);

/// Whether a file's long name is an oem*.inf, letters in any case.
bool IsOemInfName(const wchar_t* name, size_t length);

/// "<folder of modulePath>\<name>": the module's file name replaced by `name`.
/// False, with `out` left empty, when the module path has no folder or the
/// result does not fit.
bool SiblingPath(const wchar_t* modulePath, size_t length, const wchar_t* name, size_t nameLength, wchar_t* out,
                 size_t capacity);

}  // namespace mioutil
