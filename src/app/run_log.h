// The run log: every run appends one section to mioutil.log in the Windows folder,
// an account for the admin of what it did and why. It never changes what the tool
// does: where the file cannot be written, every call is a no-op. The lines come
// through RunLog (log.h).
#pragma once

#include <cstdint>

#include "log.h"

namespace mioutil {

/// Opens the log (renaming one past 1 MiB to mioutil.log.old first) and writes the
/// section's head: local time, version, command line, Windows, platform class and
/// whether the process runs as an administrator.
void BeginRunLog();

/// The section's last line, with the exit code; closes the log.
void EndRunLog(uint32_t exitCode);

}  // namespace mioutil
