// Runs a builder on a buffer pre-filled with junk, so that a refusal must really
// clear it; shared by the tests of the builders of paths and commands.
#pragma once

#include <cstddef>
#include <string>

namespace mioutil {

inline constexpr size_t kCapacity = 260;  // the command and every path have 260 characters

template <typename Builder>
bool BuildInto(std::wstring& out, Builder build) {
    wchar_t buffer[kCapacity];
    for (wchar_t& c : buffer) c = L'#';
    const bool ok = build(buffer);
    out.assign(buffer);
    return ok;
}

}  // namespace mioutil
