#!/usr/bin/env bash
# Builds everything and runs every test tier:
#   1. unit: the pure core, natively, with ASan and UBSan;
#   2. fuzz: the core's libFuzzer targets, each replaying its seed corpus once
#            (timed fuzzing is scripts/fuzz.sh, run by hand);
#   3. e2e:  mioutil.exe cross-built with MinGW-w64, run under Wine in a
#            throwaway prefix inside build/mingw.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

echo "== unit tests (native, ASan/UBSan)"
cmake --preset unit >/dev/null
cmake --build --preset unit
ctest --preset unit
# The model check of the re-map says how much it explored.
grep -h "^model check:" build/unit/Testing/Temporary/LastTest.log || true

echo "== fuzz targets over their seed corpora (native, libFuzzer + ASan/UBSan)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz

echo "== end-to-end tests (MinGW-w64 build under Wine)"
cmake --preset mingw >/dev/null
cmake --build --preset mingw
prefix=$PWD/build/mingw/wineprefix
scripts/wine-prefix.sh "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all
status=0
ctest --preset mingw || status=$?
/usr/lib/wine/wineserver -k 2>/dev/null || true
exit $status
