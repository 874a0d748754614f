// The provider test on an INF file's first bytes. Pure: no <windows.h>.
#pragma once

#include <cstddef>

namespace mioutil {

/// Only this many bytes of an INF file are ever looked at.
inline constexpr size_t kInfTextLimit = 0xFFFF;

/// Whether `provider` occurs in the text of an INF file's first bytes: the bytes
/// before the first zero byte, at most `count` and at most kInfTextLimit of them,
/// each read as the character of the same value (byte 0xE9 is U+00E9), compared
/// code unit by code unit, so case matters. The same answer as widening them one to one
/// (no code page) into a buffer of kInfTextLimit + 1 characters and searching that,
/// without building it: a provider with a character above U+00FF or a zero character
/// never occurs, an empty one never matches.
bool InfTextContains(const unsigned char* bytes, size_t count, const wchar_t* provider, size_t providerLength);

}  // namespace mioutil
