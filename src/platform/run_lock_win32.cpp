#include "platform/run_lock.h"

#include "log.h"
#include "names.h"

namespace mioutil {

RunLock TakeRunLock() {
    RunLock lock = {};
    lock.mutex = CreateMutexW(nullptr, FALSE, kRunMutexName);
    if (lock.mutex == nullptr) lock.mutex = OpenMutexW(SYNCHRONIZE, FALSE, kRunMutexName);
    if (lock.mutex == nullptr) {
        lock.error = GetLastError();
        return lock;
    }
    const DWORD start = GetTickCount();
    DWORD wait = WaitForSingleObject(lock.mutex, 0);
    if (wait == WAIT_TIMEOUT) wait = WaitForSingleObject(lock.mutex, INFINITE);
    lock.waitedMs = GetTickCount() - start;
    lock.abandoned = wait == WAIT_ABANDONED;
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        lock.error = GetLastError();
        CloseHandle(lock.mutex);
        lock.mutex = nullptr;
    }
    return lock;
}

void LogRunLock(const RunLock& lock) {
    if (lock.mutex == nullptr) {
        RunLog(L"run lock: could not be taken (error %lu), runs without it", static_cast<unsigned long>(lock.error));
    } else if (lock.waitedMs != 0 || lock.abandoned) {
        RunLog(L"run lock: waited %lu ms for another run of the tool to end%ls", static_cast<unsigned long>(lock.waitedMs),
               lock.abandoned ? L" (it ended without letting the lock go)" : L"");
    }
}

void ReleaseRunLock(RunLock& lock) {
    if (lock.mutex == nullptr) return;
    ReleaseMutex(lock.mutex);
    CloseHandle(lock.mutex);
    lock.mutex = nullptr;
}

}  // namespace mioutil
