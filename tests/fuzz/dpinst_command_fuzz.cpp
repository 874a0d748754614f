// The DPInst command for any recorded path and buffer size: built whole, with
// the path as it was and nothing the interpreter acts on, or not at all; never
// written past its buffer.
#include <string>

#include "drivers/dpinst_command.h"
#include "fuzz_input.h"
#include "names.h"

namespace {
// Characters the interpreter would act on in an unquoted argument.
bool Refused(wchar_t c) {
    return c < 0x20 || c == 0x7F || std::wstring(L"\"&|<>^%").find(c) != std::wstring::npos;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    const size_t capacity = in.Unit() % 400;
    const size_t pathLength = in.Left() / 2;
    const WideBuffer path = TakeText(in, pathLength);

    const WideBuffer out = MarkedBuffer(capacity);
    const bool built = mioutil::BuildDpinstCommandLine(mioutil::kDpinstFolder, mioutil::kDpinstTool, path.get(),
                                                       pathLength, out.get(), capacity);

    const std::wstring pathText(path.get(), pathLength);
    const std::wstring expected = std::wstring(L"\"\"%SystemDrive%\\Program Files\\") + mioutil::kDpinstFolder + L"\\" +
                                  mioutil::kDpinstTool + L"\"\" /s /u " + pathText;
    bool refused = false;
    for (const wchar_t c : pathText) refused = refused || Refused(c);
    FUZZ_CHECK(built == (!refused && expected.size() < capacity));
    FUZZ_CHECK(HoldsWholeOrEmpty(out.get(), capacity, built, expected));
    if (built) FUZZ_CHECK(!mioutil::HasInterpreterSpecialCharacter(out.get() + expected.size() - pathLength, pathLength));
    return 0;
}
