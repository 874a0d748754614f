#include "drivers/dpinst_command.h"

#include "text.h"

namespace mioutil {

namespace {

void AppendProgramPath(TextBuffer& text, const wchar_t* drive, const wchar_t* folder, const wchar_t* tool) {
    TextAppend(text, drive);
    TextAppend(text, L"\\Program Files\\");
    TextAppend(text, folder);
    TextAppend(text, L"\\");
    TextAppend(text, tool);
}

}  // namespace

bool HasInterpreterSpecialCharacter(const wchar_t* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = text[i];
        // A quote would end the program's quoted name or split the path into
        // several arguments; the others chain, redirect, escape or expand.
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

bool DriveOfFolder(const wchar_t* folder, size_t length, wchar_t* out, size_t capacity) {
    TextBuffer text;
    TextStart(text, out, capacity);
    const bool letter = length >= 2 && ((folder[0] >= L'A' && folder[0] <= L'Z') ||
                                        (folder[0] >= L'a' && folder[0] <= L'z'));
    if (!letter || folder[1] != L':' || (length > 2 && folder[2] != L'\\')) text.fits = false;
    TextAppend(text, folder, 2);
    return TextFinish(text);
}

bool BuildDpinstProgramPath(const wchar_t* drive, const wchar_t* folder, const wchar_t* tool, wchar_t* out,
                            size_t capacity) {
    TextBuffer text;
    TextStart(text, out, capacity);
    AppendProgramPath(text, drive, folder, tool);
    return TextFinish(text);
}

bool BuildDpinstCommandLine(const wchar_t* drive, const wchar_t* folder, const wchar_t* tool, const wchar_t* path,
                            size_t pathLength, wchar_t* out, size_t capacity) {
    TextBuffer text;
    TextStart(text, out, capacity);
    if (HasInterpreterSpecialCharacter(path, pathLength)) text.fits = false;
    TextAppend(text, L"\"");
    AppendProgramPath(text, drive, folder, tool);
    TextAppend(text, L"\" /s /u ");
    TextAppend(text, path, pathLength);
    return TextFinish(text);
}

}  // namespace mioutil
