#include "app/command_line.h"
#include "app/dispatch.h"
#include "app/run_log.h"
#include "names.h"
#include "platform/run_lock.h"
#include "platform/system_dll.h"

// Wide entry point: MinGW needs -municode for it. The result leaves through the
// normal return path so that standard output is flushed.
int wmain(int argc, wchar_t** argv) {
    // Before anything can load a DLL by name (SetupAPI loads class installers and
    // co-installers that way): nothing from the exe's folder or the current directory.
    mioutil::RestrictDllSearchToSystem32();
    const uint32_t operation = mioutil::ParseCommandLine(argc, argv);
    // -Status changes nothing, the run log included, and waits for no run.
    if (operation == mioutil::OpStatus) return static_cast<int>(mioutil::DispatchOperation(operation));
    // A rejected command line changes nothing, so it neither takes the run lock nor
    // waits for another run; its log section goes in one write, whole, even while
    // another run writes its own. Every other run holds the lock from before its
    // first change until its log section is written.
    const bool changes = operation != mioutil::OpInvalid;
    mioutil::RunLock lock = changes ? mioutil::TakeRunLock() : mioutil::RunLock{};
    mioutil::BeginRunLog(changes ? mioutil::SectionWrites::kLineByLine : mioutil::SectionWrites::kWhole);
    if (changes) mioutil::LogRunLock(lock);
    const uint32_t result = mioutil::DispatchOperation(operation);
    mioutil::EndRunLog(result);
    mioutil::ReleaseRunLock(lock);
    return static_cast<int>(result);
}
