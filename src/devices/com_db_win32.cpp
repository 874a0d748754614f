#include "devices/com_db.h"

#include "platform/system_dll.h"

namespace mioutil {

bool LoadComDbApi(ComDbApi& api) {
    if (!api.tried) {
        api.tried = true;
        api.module.reset(LoadSystemDll(L"msports.dll"));
        if (api.module.valid()) {
            api.open = DllFunction<ComDBOpenFn>(api.module.get(), "ComDBOpen");
            api.close = DllFunction<ComDBCloseFn>(api.module.get(), "ComDBClose");
            api.releasePort = DllFunction<ComDBReleasePortFn>(api.module.get(), "ComDBReleasePort");
            api.claimPort = DllFunction<ComDBClaimPortFn>(api.module.get(), "ComDBClaimPort");
            api.getCurrentPortUsage = DllFunction<ComDBGetCurrentPortUsageFn>(api.module.get(), "ComDBGetCurrentPortUsage");
        }
    }
    return api.open != nullptr && api.close != nullptr && api.releasePort != nullptr;
}

OpenComDb::OpenComDb(ComDbApi& api) : api_(api) {
    if (!LoadComDbApi(api_)) return;
    HCOMDB opened = HCOMDB_INVALID_HANDLE_VALUE;
    if (api_.open(&opened) != ERROR_SUCCESS) return;
    db_ = opened;
    valid_ = db_ != HCOMDB_INVALID_HANDLE_VALUE && db_ != nullptr;
}

OpenComDb::~OpenComDb() {
    if (!valid_) return;
    const LastErrorGuard keep;
    api_.close(db_);
}

}  // namespace mioutil
