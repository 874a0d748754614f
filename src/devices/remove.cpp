#include "devices/com_db.h"
#include "devices/device_ops.h"
#include "platform/unique_handle.h"

namespace mioutil {

namespace {

// What one walk shares between its nodes: msports.dll is loaded at the first
// number to release and stays loaded until the walk ends.
struct RemovalWalk {
    ComDbApi comDb;
};

using NodeStep = void (*)(RemovalWalk& walk, HDEVINFO set, SP_DEVINFO_DATA* member);

// Runs `step` on every node, present or not, that the enumerator (or
// enumerator\device ID) selects, in any setup class.
void ForEachNode(const wchar_t* enumerator, NodeStep step) {
    UniqueDevInfo set(SetupDiGetClassDevsW(nullptr, enumerator, nullptr, DIGCF_ALLCLASSES));
    if (!set.valid()) return;
    RemovalWalk walk;
    SP_DEVINFO_DATA member = {};
    member.cbSize = sizeof(member);
    // SetupDiRemoveDevice leaves the member in the set, so the index just goes on.
    for (DWORD m = 0; SetupDiEnumDeviceInfo(set.get(), m, &member); ++m) step(walk, set.get(), &member);
}

// The database is open only for the release of this one number.
void ReleaseComNumber(RemovalWalk& walk, HDEVINFO set, SP_DEVINFO_DATA* member) {
    int32_t number = 0;
    if (!ReadComNumber(set, member, &number)) return;
    OpenComDb db(walk.comDb);
    if (!db.valid()) return;
    // 0 and negatives go as read; the database refuses them.
    walk.comDb.releasePort(db.get(), static_cast<DWORD>(number));
}

void RemoveNode(RemovalWalk&, HDEVINFO set, SP_DEVINFO_DATA* member) {
    SetupDiRemoveDevice(set, member);
    SetupDiDeleteDevRegKey(set, member, DICS_FLAG_GLOBAL, 0xFFFFFFFF, DIREG_BOTH);
}

}  // namespace

void ReleaseComNumbers(const wchar_t* enumeratorFilter) { ForEachNode(enumeratorFilter, ReleaseComNumber); }

void ReleaseAndRemovePortNodes(const wchar_t* enumeratorFilter) {
    ForEachNode(enumeratorFilter, [](RemovalWalk& walk, HDEVINFO set, SP_DEVINFO_DATA* member) {
        ReleaseComNumber(walk, set, member);
        RemoveNode(walk, set, member);  // also when there was nothing to release
    });
}

void RemoveEnumeratorNodes(const wchar_t* enumerator) { ForEachNode(enumerator, RemoveNode); }

}  // namespace mioutil
