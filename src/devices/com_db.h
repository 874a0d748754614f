// The system's COM-port database, through msports.dll loaded by full path from
// System32 at the first call that needs it.
#pragma once

#include <windows.h>

#include "devices/msports_api.h"
#include "platform/unique_handle.h"

namespace mioutil {

struct ComDbApi {
    UniqueModule module;
    ComDBOpenFn open = nullptr;
    ComDBCloseFn close = nullptr;
    ComDBReleasePortFn releasePort = nullptr;
    ComDBGetCurrentPortUsageFn getCurrentPortUsage = nullptr;  // null where the DLL lacks it
    ComDBClaimPortFn claimPort = nullptr;                      // likewise
    bool tried = false;
};

/// Loads msports.dll from System32 once. False when it does not load or lacks
/// ComDBOpen, ComDBClose or ComDBReleasePort.
bool LoadComDbApi(ComDbApi& api);

/// The database open for the scope's lifetime; closed on every way out. A failed
/// open gives no handle, whatever it left behind, and nothing is closed then.
class OpenComDb {
public:
    explicit OpenComDb(ComDbApi& api);
    ~OpenComDb();
    OpenComDb(const OpenComDb&) = delete;
    OpenComDb& operator=(const OpenComDb&) = delete;

    bool valid() const { return valid_; }
    HCOMDB get() const { return db_; }

private:
    ComDbApi& api_;
    HCOMDB db_ = HCOMDB_INVALID_HANDLE_VALUE;
    bool valid_ = false;
};

}  // namespace mioutil
