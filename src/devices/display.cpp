#include "app/run_log.h"
#include "devices/device_ops.h"
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
    RunLog(L"display node %ls: restart %ls (class-install parameters %ls, class installer %ls)",
           NodeName(walk->set, &walk->member, name, kPathChars),
           result.paramsSet && result.installerCalled ? L"done" : L"failed, the walk stops here",
           result.paramsSet ? L"taken" : L"refused", result.installerCalled ? L"succeeded" : L"failed");
    return result;
}

}  // namespace

void RestartDisplayDevices() {
    UniqueDevInfo set(SetupDiGetClassDevsW(nullptr, kDisplayEnumerator, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set.valid()) {
        RunLog(L"display nodes: the list of present nodes could not be had (error %lu): none restarted",
               GetLastError());
        return;
    }
    DisplayWalk walk = {};
    walk.set = set.get();
    walk.member.cbSize = sizeof(walk.member);
    const uint32_t restarted = RestartUntilFailure(&walk, SelectDisplayNode, RestartDisplayNode);
    if (restarted == 0) RunLog(L"display nodes: none present, nothing restarted");
}

}  // namespace mioutil
