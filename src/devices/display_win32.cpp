#include "devices/display.h"

#include "devices/node.h"
#include "log.h"
#include "log_text.h"
#include "names.h"
#include "platform/unique_handle.h"
#include "text.h"

namespace mioutil {

namespace {

struct DisplayWalk {
    HDEVINFO set;
    SP_DEVINFO_DATA member;
};

bool SelectDisplayNode(void* context, uint32_t index) {
    DisplayWalk* walk = static_cast<DisplayWalk*>(context);
    return SetupDiEnumDeviceInfo(walk->set, index, &walk->member) != FALSE;
}

RestartResult RestartDisplayNode(void* context) {
    DisplayWalk* walk = static_cast<DisplayWalk*>(context);
    const RestartResult result = RestartDevice(walk->set, &walk->member);
    wchar_t name[kPathChars] = {};
    LogQuote quoted;
    const RestartOutcome outcome = OutcomeOf(result);
    RunLog(L"restart %ls (class-install parameters %ls, class installer %ls): display node %ls",
           outcome == RestartOutcome::kFailed     ? L"failed, the walk stops here"
           : outcome == RestartOutcome::kDeferred ? L"left for the next reboot (the device is in use)"
                                                  : L"done",
           result.paramsSet ? L"taken" : L"refused", result.installerCalled ? L"ran" : L"failed",
           LogQuoted(NodeName(walk->set, &walk->member, name, kPathChars), quoted));
    return result;
}

}  // namespace

void RestartDisplayDevices() {
    UniqueDevInfo set(SetupDiGetClassDevsW(nullptr, kDisplayEnumerator, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set.valid()) {
        RunLog(L"none restarted: the list of present display nodes could not be had (error %lu)", GetLastError());
        return;
    }
    DisplayWalk walk = {};
    walk.set = set.get();
    walk.member.cbSize = sizeof(walk.member);
    const uint32_t restarted = RestartUntilFailure(&walk, SelectDisplayNode, RestartDisplayNode);
    if (restarted == 0) RunLog(L"nothing restarted: no display node present");
}

}  // namespace mioutil
