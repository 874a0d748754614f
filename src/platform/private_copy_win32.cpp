#include "platform/private_copy.h"

#include <cwchar>

#include "drivers/driver_paths.h"
#include "log.h"
#include "log_text.h"
#include "platform/admins_only.h"

namespace mioutil {

namespace {

constexpr ULONGLONG kMaxCopyBytes = 32ull * 1024 * 1024;  // a redistributable DLL is well under 1 MiB
constexpr unsigned kFolderTries = 100;

// Reads `source` to its end into `target`; false where it fails or passes the limit.
bool CopyBytes(HANDLE source, HANDLE target) {
    unsigned char chunk[16 * 1024];
    for (ULONGLONG total = 0;;) {
        DWORD got = 0;
        if (!ReadFile(source, chunk, sizeof(chunk), &got, nullptr)) return false;
        if (got == 0) return true;
        total += got;
        if (total > kMaxCopyBytes) {
            SetLastError(ERROR_FILE_TOO_LARGE);
            return false;
        }
        DWORD written = 0;
        if (!WriteFile(target, chunk, got, &written, nullptr) || written != got) return false;
    }
}

}  // namespace

DWORD PrivateCopy::Make(HANDLE source, const wchar_t* name) {
    Remove();
    wchar_t windows[kPathChars] = {};
    const UINT length = GetWindowsDirectoryW(windows, static_cast<UINT>(kPathChars));
    if (length == 0 || length >= kPathChars) return ERROR_FILENAME_EXCED_RANGE;
    AdminsOnlyDescriptor descriptor;
    BuildAdminsOnlyDescriptor(true, descriptor);  // the copy made inside gets the same two grants
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.bytes, FALSE};
    // Others may make folders there too: a name taken is passed over, never used.
    const unsigned long tick = GetTickCount();
    DWORD error = ERROR_ALREADY_EXISTS;
    for (unsigned n = 0; n < kFolderTries && error == ERROR_ALREADY_EXISTS; ++n) {
        const int written = std::swprintf(folder_, kPathChars, L"%ls\\Temp\\mioutil.%lu.%lu.%u", windows,
                                          static_cast<unsigned long>(GetCurrentProcessId()), tick, n);
        if (written < 0 || static_cast<size_t>(written) >= kPathChars) return ERROR_FILENAME_EXCED_RANGE;
        error = CreateDirectoryW(folder_, &attributes) ? ERROR_SUCCESS : GetLastError();
    }
    if (error != ERROR_SUCCESS) {
        folder_[0] = L'\0';
        return error;
    }
    folderHandle_.reset(CreateFileW(folder_, FILE_LIST_DIRECTORY | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    bool copied = folderHandle_.valid() &&
                  JoinPath(folder_, TextLength(folder_, kPathChars), name, TextLength(name, kPathChars), path_,
                           kPathChars);
    if (copied) {
        UniqueFile target(CreateFileW(path_, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        copied = target.valid() && CopyBytes(source, target.get());
    }
    // Written, closed, then held for reading only: the loader's own open must not meet a writer.
    if (copied) {
        file_.reset(CreateFileW(path_, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
        copied = file_.valid();
    }
    if (copied) return ERROR_SUCCESS;
    error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_GEN_FAILURE;
    Remove();
    return error;
}

void PrivateCopy::Remove() {
    const LastErrorGuard keep;
    file_.reset();
    wchar_t meaning[kPathChars] = {};
    LogQuote quoted;
    if (path_[0] != L'\0' && !DeleteFileW(path_) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        const DWORD error = GetLastError();
        RunLog(L"private copy not deleted, error %lu (%ls): %ls", static_cast<unsigned long>(error),
               ErrorMeaning(error, meaning, kPathChars), LogQuoted(path_, quoted));
    }
    folderHandle_.reset();
    if (folder_[0] != L'\0' && !RemoveDirectoryW(folder_)) {
        const DWORD error = GetLastError();
        RunLog(L"private folder not removed, error %lu (%ls): %ls", static_cast<unsigned long>(error),
               ErrorMeaning(error, meaning, kPathChars), LogQuoted(folder_, quoted));
    }
    path_[0] = L'\0';
    folder_[0] = L'\0';
}

}  // namespace mioutil
