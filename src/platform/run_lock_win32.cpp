#include "platform/run_lock.h"

#include "log.h"
#include "names.h"
#include "platform/admins_only.h"
#include "text.h"

namespace mioutil {

namespace {

static_assert(sizeof(SECURITY_DESCRIPTOR_RELATIVE) == 20 && FILE_ALL_ACCESS == 0x1F01FF &&
                  (SE_SELF_RELATIVE | SE_DACL_PROTECTED | SE_DACL_PRESENT) == 0x9004,
              "the pure core's descriptor as the SDK lays it out");

constexpr DWORD kPollMs = 20;
// A run that has just ended may not have let its file go yet (delete pending):
// opening it is then refused as for a caller without rights, for a few polls.
constexpr int kDeletePendingPolls = 10;

bool RunLockPath(wchar_t* out) {
    const UINT length = GetWindowsDirectoryW(out, static_cast<UINT>(kPathChars));
    if (length == 0 || length >= kPathChars) return false;
    TextBuffer text;
    TextStart(text, out + length, kPathChars - length);
    TextAppend(text, L"\\");
    TextAppend(text, kRunLockFile);
    return TextFinish(text);
}

}  // namespace

RunLock TakeRunLock() {
    RunLock lock;
    wchar_t path[kPathChars] = {};
    if (!RunLockPath(path)) {
        lock.error = ERROR_FILENAME_EXCED_RANGE;
        return lock;
    }
    AdminsOnlyDescriptor descriptor;
    BuildAdminsOnlyDescriptor(false, descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.bytes, FALSE};
    DWORD start = 0;
    for (int deletePending = 0;;) {
        lock.file.reset(CreateFileW(path, GENERIC_READ | DELETE, 0, &attributes, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (lock.file.valid()) break;
        const DWORD error = GetLastError();
        const bool held = error == ERROR_SHARING_VIOLATION ||
                          (error == ERROR_ACCESS_DENIED && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES &&
                           ++deletePending < kDeletePendingPolls);
        if (!held) {
            lock.error = error;
            return lock;
        }
        // Timed only from the first refusal: a lock taken at once logs no wait.
        if (!lock.waited) start = GetTickCount();
        lock.waited = true;
        Sleep(kPollMs);
    }
    if (lock.waited) lock.waitedMs = GetTickCount() - start;
    return lock;
}

void LogRunLock(const RunLock& lock) {
    if (!lock.file.valid()) {
        RunLog(L"run lock: could not be taken (error %lu), runs without it", static_cast<unsigned long>(lock.error));
    } else if (lock.waited) {
        RunLog(L"run lock: waited %lu ms for another run of the tool to end",
               static_cast<unsigned long>(lock.waitedMs));
    }
}

void ReleaseRunLock(RunLock& lock) { lock.file.reset(); }

RunLockState QueryRunLock() {
    const LastErrorGuard keep;
    wchar_t path[kPathChars] = {};
    if (!RunLockPath(path)) return RunLockState::kUnknown;
    // OPEN_EXISTING creates nothing; a file left by a run that lost power opens, and is not held.
    UniqueFile file(CreateFileW(path, FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.valid()) return RunLockState::kFree;
    switch (GetLastError()) {
        case ERROR_SHARING_VIOLATION:
            return RunLockState::kHeld;
        case ERROR_FILE_NOT_FOUND:
            return RunLockState::kFree;
        default:
            return RunLockState::kUnknown;
    }
}

}  // namespace mioutil
