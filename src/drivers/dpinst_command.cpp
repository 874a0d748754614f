#include "drivers/dpinst_command.h"

#include "text.h"

namespace mioutil {

bool HasInterpreterSpecialCharacter(const wchar_t* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = text[i];
        // A quote would move the closing quote cmd /c strips; the others chain,
        // redirect, escape or expand.
        if (c < 0x20 || c == 0x7F) return true;
        switch (c) {
            case L'"':
            case L'&':
            case L'|':
            case L'<':
            case L'>':
            case L'^':
            case L'%':
                return true;
            default:
                break;
        }
    }
    return false;
}

bool BuildDpinstCommandLine(const wchar_t* folder, const wchar_t* tool, const wchar_t* path, size_t pathLength,
                            wchar_t* out, size_t capacity) {
    TextBuffer text;
    TextStart(text, out, capacity);
    if (HasInterpreterSpecialCharacter(path, pathLength)) {
        text.fits = false;
    }
    TextAppend(text, L"\"\"%SystemDrive%\\Program Files\\");
    TextAppend(text, folder);
    TextAppend(text, L"\\");
    TextAppend(text, tool);
    TextAppend(text, L"\"\" /s /u ");
    TextAppend(text, path, pathLength);
    return TextFinish(text);
}

}  // namespace mioutil
