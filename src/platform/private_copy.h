// A private copy of a file that an elevated process checks and then loads: in a fresh
// folder <Windows>\Temp\mioutil.<process id>.<tick count>.<n> made with the admins-only
// descriptor (admins_only.h), so that between the check and the load nobody but
// administrators and SYSTEM can write, rename or replace anything in it, whatever
// becomes of the folder the original came from. The folder is also held open, not shared for deletion, so that it
// cannot be renamed while the copy lives. Each run makes a new folder (an existing
// name is never taken over), so one left by a run cut short is never trusted.
#pragma once

#include <windows.h>

#include "platform/unique_handle.h"
#include "text.h"

namespace mioutil {

class PrivateCopy {
public:
    PrivateCopy() = default;
    ~PrivateCopy() { Remove(); }
    PrivateCopy(const PrivateCopy&) = delete;
    PrivateCopy& operator=(const PrivateCopy&) = delete;

    /// Copies what `source` holds (read from where it stands, at most 32 MiB) to
    /// <private folder>\<name> and holds the copy open, sharing reading only.
    /// ERROR_SUCCESS, or why not (the folder is removed again).
    DWORD Make(HANDLE source, const wchar_t* name);

    HANDLE file() const { return file_.get(); }
    const wchar_t* path() const { return path_; }

private:
    /// The copy and its folder go; the run log says where they could not.
    void Remove();

    wchar_t folder_[kPathChars] = {};
    wchar_t path_[kPathChars] = {};
    UniqueFile folderHandle_;
    UniqueFile file_;
};

}  // namespace mioutil
