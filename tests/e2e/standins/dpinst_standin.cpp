// Test stand-in for DPInst.exe: logs its command line, exactly as it received it,
// beside itself (standin_log.h), waits while a test holds it (kDpinstHoldEvent), and exits 0.
#include <windows.h>

#include "standin_log.h"

int wmain() {
    wchar_t path[MAX_PATH] = {};
    e2e::LogPathBeside(nullptr, path, MAX_PATH, e2e::kDpinstLog);
    const bool logged = path[0] != L'\0' && e2e::AppendLogLine(path, GetCommandLineW());
    HANDLE hold = OpenEventW(SYNCHRONIZE, FALSE, e2e::kDpinstHoldEvent);
    if (hold != nullptr) {
        WaitForSingleObject(hold, 60000);
        CloseHandle(hold);
    }
    return logged ? 0 : 1;
}
