#!/usr/bin/env bash
# Times mioutil.exe under Wine against programs that do only what its design needs
# (see README.md, "Benchmarks") and prints the ratios of one run. Everything happens
# in a throwaway Wine machine in build/bench; the tests never run this.
#   scripts/bench.sh [repetitions [mioutil.exe]]   (default 5, and build/mingw/bin/mioutil.exe)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh >/dev/null
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target bench >/dev/null

prefix=$PWD/build/bench/wineprefix
scripts/wine-prefix.sh "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all
status=0
args=("${1:-5}")
if [ $# -ge 2 ]; then
  tool=$(realpath "$2")
  args+=("Z:${tool//\//\\}")
fi
/usr/lib/wine/wine64 build/mingw/bench/bench.exe "${args[@]}" || status=$?
/usr/lib/wine/wineserver -k 2>/dev/null || true
exit $status
