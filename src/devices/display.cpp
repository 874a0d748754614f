#include "devices/device_ops.h"
#include "names.h"
#include "platform/unique_handle.h"

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
    return RestartDevice(walk->set, &walk->member);
}

}  // namespace

void RestartDisplayDevices() {
    UniqueDevInfo set(SetupDiGetClassDevsW(nullptr, kDisplayEnumerator, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set.valid()) return;
    DisplayWalk walk = {};
    walk.set = set.get();
    walk.member.cbSize = sizeof(walk.member);
    RestartUntilFailure(&walk, SelectDisplayNode, RestartDisplayNode);
}

}  // namespace mioutil
