// Test stand-in for DPInst.exe: logs its command line, exactly as it received it,
// beside itself (standin_log.h), and exits 0.
#include <windows.h>

#include "standin_log.h"

int wmain() {
    wchar_t path[MAX_PATH] = {};
    e2e::LogPathBeside(nullptr, path, MAX_PATH, e2e::kDpinstLog);
    return path[0] != L'\0' && e2e::AppendLogLine(path, GetCommandLineW()) ? 0 : 1;
}
