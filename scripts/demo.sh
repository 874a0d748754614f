#!/usr/bin/env bash
# Builds mioutil.exe and runs its main job (the COM port re-map) under Wine in a
# throwaway prefix.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw >/dev/null
prefix=$PWD/build/demo/wineprefix
scripts/wine-prefix.sh "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all

echo "Running mioutil.exe (no argument: re-map the card's COM ports) on a machine without the card..."
set +e
/usr/lib/wine/wine64 build/mingw/bin/mioutil.exe
rc=$?
set -e
echo "exit code $rc: no card present, nothing to re-map."
/usr/lib/wine/wineserver -k 2>/dev/null || true
