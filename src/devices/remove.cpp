#include "devices/device_ops.h"
#include "devices/msports_api.h"
#include "platform/unique_handle.h"

namespace mioutil {

namespace {

struct ComDbTraits {
    using Type = HCOMDB;
    static Type Invalid() { return HCOMDB_INVALID_HANDLE_VALUE; }
    static bool IsValid(Type db) { return db != HCOMDB_INVALID_HANDLE_VALUE && db != nullptr; }
    static void Close(Type db) { ComDBClose(db); }
};
using UniqueComDb = UniqueHandle<ComDbTraits>;

using NodeStep = void (*)(HDEVINFO set, SP_DEVINFO_DATA* member);

// Runs `step` on every node, present or not, that the enumerator (or
// enumerator\device ID) selects, in any setup class.
void ForEachNode(const wchar_t* enumerator, NodeStep step) {
    UniqueDevInfo set(SetupDiGetClassDevsW(nullptr, enumerator, nullptr, DIGCF_ALLCLASSES));
    if (!set.valid()) return;
    SP_DEVINFO_DATA member = {};
    member.cbSize = sizeof(member);
    // SetupDiRemoveDevice leaves the member in the set, so the index just goes on.
    for (DWORD m = 0; SetupDiEnumDeviceInfo(set.get(), m, &member); ++m) step(set.get(), &member);
}

// The database is open only for the release of this one number.
void ReleaseComNumber(HDEVINFO set, SP_DEVINFO_DATA* member) {
    int32_t number = 0;
    if (!ReadComNumber(set, member, &number)) return;
    // A failed open gave no handle, whatever it left in `opened`: nothing is
    // released and nothing is closed.
    HCOMDB opened = HCOMDB_INVALID_HANDLE_VALUE;
    if (ComDBOpen(&opened) != ERROR_SUCCESS) return;
    UniqueComDb db(opened);
    if (!db.valid()) return;
    ComDBReleasePort(db.get(), static_cast<DWORD>(number));  // 0 and negatives go as read; the database refuses them
}

void RemoveNode(HDEVINFO set, SP_DEVINFO_DATA* member) {
    SetupDiRemoveDevice(set, member);
    SetupDiDeleteDevRegKey(set, member, DICS_FLAG_GLOBAL, 0xFFFFFFFF, DIREG_BOTH);
}

}  // namespace

void ReleaseComNumbers(const wchar_t* enumeratorFilter) { ForEachNode(enumeratorFilter, ReleaseComNumber); }

void ReleaseAndRemovePortNodes(const wchar_t* enumeratorFilter) {
    ForEachNode(enumeratorFilter, [](HDEVINFO set, SP_DEVINFO_DATA* member) {
        ReleaseComNumber(set, member);
        RemoveNode(set, member);  // also when there was nothing to release
    });
}

void RemoveEnumeratorNodes(const wchar_t* enumerator) { ForEachNode(enumerator, RemoveNode); }

}  // namespace mioutil
