// An exe that does nothing, with the imports, runtime and resources of mioutil.exe:
// the floor for a command line the tool rejects. Benchmark code: never shipped.
#include "same_imports.h"

int wmain() {
    bench::KeepToolImports();
    return 0;
}
