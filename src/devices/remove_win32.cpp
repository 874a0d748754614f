#include "devices/remove.h"

#include "devices/com_db.h"
#include "devices/node.h"
#include "devices/remap.h"
#include "log.h"
#include "log_text.h"
#include "platform/unique_handle.h"
#include "text.h"

namespace mioutil {

namespace {

// What one walk shares between its nodes: msports.dll is loaded at the first
// number to release and stays loaded until the walk ends.
struct RemovalWalk {
    ComDbApi comDb;
    wchar_t name[kPathChars];  // the node's instance ID, for the log
    LogQuote quotedName;       // the same, as the log shows it
};

using NodeStep = void (*)(RemovalWalk& walk, HDEVINFO set, SP_DEVINFO_DATA* member);

// Runs `step` on every node, present or not, that the enumerator (or
// enumerator\device ID) selects, in any setup class.
void ForEachNode(const wchar_t* enumerator, NodeStep step) {
    UniqueDevInfo set(SetupDiGetClassDevsW(nullptr, enumerator, nullptr, DIGCF_ALLCLASSES));
    if (!set.valid()) {
        RunLog(L"nothing done: the list of nodes of %ls could not be had (error %lu)", enumerator, GetLastError());
        return;
    }
    RemovalWalk walk;
    SP_DEVINFO_DATA member = {};
    member.cbSize = sizeof(member);
    // SetupDiRemoveDevice leaves the member in the set, so the index just goes on.
    DWORD m = 0;
    for (; SetupDiEnumDeviceInfo(set.get(), m, &member); ++m) {
        LogQuoted(NodeName(set.get(), &member, walk.name, kPathChars), walk.quotedName);
        step(walk, set.get(), &member);
    }
    if (m == 0) RunLog(L"nothing done: no node of %ls found", enumerator);
}

// The database is open only for the release of this one number.
void ReleaseComNumber(RemovalWalk& walk, HDEVINFO set, SP_DEVINFO_DATA* member) {
    int32_t number = 0;
    if (!ReadComNumber(set, member, &number)) {
        RunLog(L"no COM number to release: no readable PortName; node %ls", walk.quotedName.chars);
        return;
    }
    OpenComDb db(walk.comDb);
    if (!db.valid()) {
        RunLog(L"COM%d not released: the COM-port database %ls; node %ls", static_cast<int>(number),
               walk.comDb.open == nullptr ? L"(msports.dll in System32) could not be loaded" : L"did not open",
               walk.quotedName.chars);
        return;
    }
    // 0 and negatives go as read; the database refuses them.
    const LONG status = walk.comDb.releasePort(db.get(), static_cast<DWORD>(number));
    wchar_t meaning[kPathChars] = {};
    if (status == ERROR_SUCCESS) {
        RunLog(L"COM%d released in the COM-port database; node %ls", static_cast<int>(number), walk.quotedName.chars);
    } else {
        RunLog(L"COM%d not released: the database refused it with %ld (%ls); node %ls", static_cast<int>(number),
               static_cast<long>(status), ErrorMeaning(static_cast<uint32_t>(status), meaning, kPathChars),
               walk.quotedName.chars);
    }
}

void RemoveNode(RemovalWalk& walk, HDEVINFO set, SP_DEVINFO_DATA* member) {
    const bool removed = SetupDiRemoveDevice(set, member) != FALSE;
    const DWORD error = GetLastError();
    SetupDiDeleteDevRegKey(set, member, DICS_FLAG_GLOBAL, 0xFFFFFFFF, DIREG_BOTH);
    wchar_t meaning[kPathChars] = {};
    if (removed) {
        RunLog(L"node removed with its registry keys: %ls", walk.quotedName.chars);
    } else {
        RunLog(L"node not removed, error 0x%08lX (%ls): %ls", static_cast<unsigned long>(error),
               ErrorMeaning(error, meaning, kPathChars), walk.quotedName.chars);
    }
}

}  // namespace

void ReleaseComNumbers(const wchar_t* enumeratorFilter) { ForEachNode(enumeratorFilter, ReleaseComNumber); }

void ReleaseAndRemovePortNodes(const wchar_t* enumeratorFilter) {
    ForEachNode(enumeratorFilter, [](RemovalWalk& walk, HDEVINFO set, SP_DEVINFO_DATA* member) {
        ReleaseComNumber(walk, set, member);
        RemoveNode(walk, set, member);  // also when there was nothing to release
    });
    // A re-map plan names ports that are gone now: its spare would be lost with it.
    DropPlanOfRemovedPorts(enumeratorFilter);
}

void RemoveEnumeratorNodes(const wchar_t* enumerator) { ForEachNode(enumerator, RemoveNode); }

}  // namespace mioutil
