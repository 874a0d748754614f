// One run of the tool at a time on a machine: a Group Policy script and a
// deployment job may start it together, and two re-maps must not interleave
// their restarts, nor two runs their log sections.
#pragma once

#include <windows.h>

namespace mioutil {

struct RunLock {
    HANDLE mutex;         // null where it could not be created or opened
    DWORD error;          // why not
    DWORD waitedMs;       // how long another run held it
    bool abandoned;       // the run before ended without letting it go (killed)
};

/// Takes the machine-wide run lock, waiting for as long as another run holds it.
/// A run that cannot create or open it (no rights) goes on without it.
RunLock TakeRunLock();

/// Tells the run log how the lock was taken.
void LogRunLock(const RunLock& lock);

/// Lets it go; after the run's log section is written.
void ReleaseRunLock(RunLock& lock);

}  // namespace mioutil
