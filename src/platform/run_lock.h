// One run of the tool at a time on a machine: a Group Policy script and a
// deployment job may start it together, and two re-maps must not interleave
// their restarts, nor two runs their log sections.
//
// The lock is the file <Windows>\mioutil.lock, held open without sharing and
// deleted when its handle closes. Only Administrators and SYSTEM may create files
// in the Windows folder, and the file's own DACL grants nobody else any access, so
// no unprivileged process can create, open or hold it; Windows closes the handle,
// and lets the lock go, when the process ends, even when it is killed. The same on
// every Windows the tool supports.
#pragma once

#include <windows.h>

#include "platform/unique_handle.h"

namespace mioutil {

struct RunLock {
    UniqueFile file;     // not valid where the lock could not be taken
    DWORD error = 0;     // why not
    bool waited = false;  // another run held it when this one asked
    DWORD waitedMs = 0;  // for how long
};

/// Takes the machine-wide run lock, waiting for as long as another run holds it.
/// A run that cannot create or open it (no rights) goes on without it.
RunLock TakeRunLock();

/// Tells the run log how the lock was taken: a line only where it waited or failed.
void LogRunLock(const RunLock& lock);

/// Lets it go; after the run's log section is written.
void ReleaseRunLock(RunLock& lock);

enum class RunLockState {
    kFree,
    kHeld,     // another run holds it now
    kUnknown,  // it could not be told (no rights to open the lock)
};

/// Whether another run holds the lock right now, for a report that must change
/// nothing: it neither takes nor waits for the lock and creates nothing. Where
/// the file is there, it is opened for an instant, sharing everything: a run that
/// asks for the lock at that instant waits one poll longer.
RunLockState QueryRunLock();

}  // namespace mioutil
