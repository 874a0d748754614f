#include "drivers/driver_paths.h"

#include "text.h"

namespace mioutil {

bool JoinPath(const wchar_t* folder, size_t folderLength, const wchar_t* name, size_t nameLength, wchar_t* out,
              size_t capacity) {
    TextBuffer text;
    TextStart(text, out, capacity);
    TextAppend(text, folder, folderLength);
    TextAppend(text, L"\\", 1);
    TextAppend(text, name, nameLength);
    return TextFinish(text);
}

bool PnfPathOf(const wchar_t* infPath, size_t length, wchar_t* out, size_t capacity) {
    TextBuffer text;
    TextStart(text, out, capacity);
    if (length < 4) text.fits = false;
    if (text.fits) TextAppend(text, infPath, length - 4);
    TextAppend(text, L".pnf", 4);
    return TextFinish(text);
}

bool IsOemInfName(const wchar_t* name, size_t length) {
    return length >= 7 && SameLettersAnyCase(name, "oem", 3) && SameLettersAnyCase(name + length - 4, ".inf", 4);
}

bool SiblingPath(const wchar_t* modulePath, size_t length, const wchar_t* name, size_t nameLength, wchar_t* out,
                 size_t capacity) {
    size_t folderLength = length;
    while (folderLength > 0 && modulePath[folderLength - 1] != L'\\') --folderLength;
    if (folderLength == 0) {
        TextBuffer text;
        TextStart(text, out, capacity);
        return false;
    }
    // The folder without its trailing backslash; JoinPath puts one back.
    return JoinPath(modulePath, folderLength - 1, name, nameLength, out, capacity);
}

}  // namespace mioutil
