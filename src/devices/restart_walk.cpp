#include "devices/restart_walk.h"

namespace mioutil {

RestartOutcome OutcomeOf(const RestartResult& result) {
    if (!result.installerCalled) return RestartOutcome::kFailed;
    return result.rebootNeeded ? RestartOutcome::kDeferred : RestartOutcome::kRestarted;
}

uint32_t RestartUntilFailure(void* context, SelectMemberFn select, RestartMemberFn restart) {
    uint32_t restarted = 0;
    while (select(context, restarted)) {
        const RestartOutcome outcome = OutcomeOf(restart(context));
        ++restarted;
        if (outcome == RestartOutcome::kFailed) break;
    }
    return restarted;
}

}  // namespace mioutil
