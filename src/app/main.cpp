#include "app/command_line.h"
#include "app/dispatch.h"

// Wide entry point: MinGW needs -municode for it. The result leaves through the
// normal return path so that standard output is flushed.
int wmain(int argc, wchar_t** argv) {
    return static_cast<int>(mioutil::DispatchOperation(mioutil::ParseCommandLine(argc, argv)));
}
