// The tool's version, for its version resource and its run log. Plain
// preprocessor definitions so that the resource compiler can read them too.
#pragma once

#define MIOUTIL_VERSION_NUMBERS 1, 0, 0, 0
#define MIOUTIL_VERSION_TEXT "1.0.0.0"
