#!/usr/bin/env bash
# Times mioutil.exe under Wine against programs that do only what its design needs
# (see README.md, "Benchmarks") and prints the ratios of one run. Everything happens
# in a throwaway Wine machine in build/bench; the tests never run this.
#   scripts/bench.sh [repetitions [mioutil.exe]] [--against other/mioutil.exe] [--remap-only]
#     repetitions   default 5
#     mioutil.exe   the build timed, default build/mingw/bin/mioutil.exe
#     --against     the re-map also times this other build, alternately with the first
#     --remap-only  the re-map scenario alone (a few minutes instead of about ten)
set -euo pipefail

usage() {
  echo "usage: scripts/bench.sh [repetitions [mioutil.exe]] [--against other/mioutil.exe] [--remap-only]" >&2
  exit 2
}
winpath() {
  [ -f "$1" ] || { echo "bench: no such file: $1" >&2; exit 2; }
  local path
  path=$(realpath "$1")
  echo "Z:${path//\//\\}"
}

positional=()
options=()
while [ $# -gt 0 ]; do
  case $1 in
    --against) [ $# -ge 2 ] || usage; options+=(--against "$(winpath "$2")"); shift 2 ;;
    --remap-only) options+=(--remap-only); shift ;;
    -*) usage ;;
    *) positional+=("$1"); shift ;;
  esac
done
[ ${#positional[@]} -le 2 ] || usage
args=("${positional[0]:-5}")
[ ${#positional[@]} -lt 2 ] || args+=("$(winpath "${positional[1]}")")

# Paths are taken from where the script was started, the build from the checkout.
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target bench >/dev/null

prefix=$PWD/build/bench/wineprefix
scripts/wine-prefix.sh "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all
status=0
/usr/lib/wine/wine64 build/mingw/bench/bench.exe "${args[@]}" "${options[@]}" || status=$?
/usr/lib/wine/wineserver -k 2>/dev/null || true
exit $status
