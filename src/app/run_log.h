// The run log: every run appends one section to mioutil.log in the Windows folder,
// an account for the admin of what it did and why. It never changes what the tool
// does: where the file cannot be written, every call is a no-op. The lines come
// through RunLog (log.h).
#pragma once

#include <cstdint>

#include "log.h"

namespace mioutil {

enum class SectionWrites {
    kLineByLine,  // each line as it comes: a run cut short still leaves what it did
    kWhole,       // kept until EndRunLog and written at once (up to 16 KiB at a time),
                  // for a run that does not hold the run lock
};

/// Opens the log (renaming one past 1 MiB to mioutil.log.old first) and writes the
/// section's head: local time, version, command line, Windows, platform class and
/// whether the process runs as an administrator. Each write goes whole to the end
/// of the file, so a section written at once never interleaves with another's lines.
void BeginRunLog(SectionWrites writes);

/// The section's last line, with the exit code; closes the log.
void EndRunLog(uint32_t exitCode);

}  // namespace mioutil
