// The DPInst program and command for any Windows folder, recorded path and buffer
// size: the drive is that of the folder or none; the command is built whole, with
// the path as it was and nothing an interpreter acts on, or not at all; never
// written past its buffer.
#include <string>

#include "drivers/dpinst_command.h"
#include "fuzz_check.h"
#include "names.h"

namespace {
// Characters an interpreter would act on in an unquoted argument.
bool Refused(wchar_t c) {
    return c < 0x20 || c == 0x7F || std::wstring(L"\"&|<>^%").find(c) != std::wstring::npos;
}
bool Letter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // The Windows folder: mostly a drive letter and a colon, now and then anything.
    const size_t wanted = in.ConsumeIntegralInRange<size_t>(0, 4);
    const bool plausible = in.ConsumeIntegralInRange(0, 3) != 0;
    const std::wstring folderText = TakeWide(in, wanted);
    const size_t folderLength = folderText.size();
    const WideBuffer folder = Exactly(folderText);
    if (plausible && folderLength >= 2) {
        folder[0] = static_cast<wchar_t>(L'A' + folder[0] % 26);
        folder[1] = L':';
        if (folderLength > 2) folder[2] = L'\\';
    }
    const WideBuffer drive = MarkedBuffer(4);
    const bool driveFound = mioutil::DriveOfFolder(folder.get(), folderLength, drive.get(), 4);
    const bool driveExpected = folderLength >= 2 && Letter(folder[0]) && folder[1] == L':' &&
                               (folderLength == 2 || folder[2] == L'\\');
    FUZZ_CHECK(driveFound == driveExpected);
    const std::wstring driveText = driveFound ? std::wstring(folder.get(), 2) : std::wstring();
    FUZZ_CHECK(HoldsWholeOrEmpty(drive.get(), 4, driveFound, driveText));
    if (!driveFound) return 0;

    const size_t capacity = in.ConsumeIntegralInRange<size_t>(0, 399);
    const std::wstring pathText = TakeRestWide(in);
    const size_t pathLength = pathText.size();
    const WideBuffer path = Exactly(pathText);
    const WideBuffer out = MarkedBuffer(capacity);
    const bool built = mioutil::BuildDpinstCommandLine(drive.get(), mioutil::kDpinstFolder, mioutil::kDpinstTool,
                                                       path.get(), pathLength, out.get(), capacity);

    const std::wstring program = driveText + L"\\Program Files\\" + mioutil::kDpinstFolder + L"\\" + mioutil::kDpinstTool;
    const std::wstring expected = L"\"" + program + L"\" /s /u " + pathText;
    bool refused = false;
    for (const wchar_t c : pathText) refused = refused || Refused(c);
    FUZZ_CHECK(built == (!refused && expected.size() < capacity));
    FUZZ_CHECK(HoldsWholeOrEmpty(out.get(), capacity, built, expected));
    if (built) FUZZ_CHECK(!mioutil::HasInterpreterSpecialCharacter(out.get() + expected.size() - pathLength, pathLength));

    const WideBuffer programOut = MarkedBuffer(capacity);
    const bool programBuilt = mioutil::BuildDpinstProgramPath(drive.get(), mioutil::kDpinstFolder,
                                                              mioutil::kDpinstTool, programOut.get(), capacity);
    FUZZ_CHECK(programBuilt == (program.size() < capacity));
    FUZZ_CHECK(HoldsWholeOrEmpty(programOut.get(), capacity, programBuilt, program));
    return 0;
}
