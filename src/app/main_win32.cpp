#include "app/command_line.h"
#include "app/dispatch.h"
#include "app/run_log.h"
#include "platform/run_lock.h"
#include "platform/system_dll.h"

// Wide entry point: MinGW needs -municode for it. The result leaves through the
// normal return path so that standard output is flushed.
int wmain(int argc, wchar_t** argv) {
    // Before anything can load a DLL by name (SetupAPI loads class installers and
    // co-installers that way): nothing from the exe's folder or the current directory.
    mioutil::RestrictDllSearchToSystem32();
    // Held from before the first change until the log section is written.
    mioutil::RunLock lock = mioutil::TakeRunLock();
    mioutil::BeginRunLog();
    mioutil::LogRunLock(lock);
    const uint32_t result = mioutil::DispatchOperation(mioutil::ParseCommandLine(argc, argv));
    mioutil::EndRunLog(result);
    mioutil::ReleaseRunLock(lock);
    return static_cast<int>(result);
}
