#include "devices/restart_walk.h"

namespace mioutil {

uint32_t RestartUntilFailure(void* context, SelectMemberFn select, RestartMemberFn restart) {
    uint32_t restarted = 0;
    while (select(context, restarted)) {
        const RestartResult result = restart(context);
        ++restarted;
        if (!result.paramsSet || !result.installerCalled) break;
    }
    return restarted;
}

}  // namespace mioutil
