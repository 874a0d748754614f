#!/usr/bin/env bash
# Shows what mioutil.exe does when run without arguments: it re-numbers the COM
# ports of the KORAV cards so that they follow the order of the ports on the
# cards. Everything happens in a throwaway Wine machine in build/demo.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
# The first run builds and creates a Wine machine for about a minute: say what
# is going on, and how long each step took.
started=$SECONDS
took() { echo "   ($(( SECONDS - started )) s)"; started=$SECONDS; }

echo "== Building mioutil.exe and the demo's helper (about 30 s the first time on 2 cores)"
cmake --preset mingw >/dev/null
# Ninja's progress condensed to one line per file ("[3/25] remap_win32.cpp"); errors pass as they are.
cmake --build --preset mingw --target mioutil demo_setup |  # also the class installer and msports.dll stand-ins
  sed -u -E 's|^\[([0-9]+/[0-9]+)\] [A-Za-z ]+ ([^ ]*/)?([^ /]+)$|   [\1] \3|; s|\.obj$||'
took
bin=build/mingw/bin

prefix=$PWD/build/demo/wineprefix
echo "== Creating a throwaway Wine machine in build/demo (about 10 s)"
scripts/wine-prefix.sh "$prefix"
took
export WINEPREFIX=$prefix WINEDEBUG=-all
wine=/usr/lib/wine/wine64

echo "== Simulating two KORAV cards of four serial ports each"
echo "   Windows handed out COM3..COM10 in the order it found the ports, so the"
echo "   numbers are shuffled across the cards. \"link\" is the COM name each port's"
echo "   (simulated) driver published when it started:"
"$wine" "$bin/demo_setup.exe" install
echo
"$wine" "$bin/demo_setup.exe" show
echo
# -Status, indented, and its exit code.
status() {
  set +e
  "$wine" "$bin/mioutil.exe" -Status | sed -e 's/\r$//' -e 's/^/   /'
  rc=${PIPESTATUS[0]}
  set -e
  echo "   exit code $rc$1"
}
echo "== Running: mioutil.exe -Status   (what a plain run would do; changes nothing)"
status " (0: nothing to do, 1: a plain run has work to do, 2: a plan waits for a reboot)"
echo
echo "== Running: mioutil.exe   (no argument: re-map the cards' COM ports)"
set +e
"$wine" "$bin/mioutil.exe"
rc=$?
set -e
echo "   exit code $rc, nothing printed (mioutil reports only through its exit code)"
echo
echo "   The same numbers, now in port order: card 1 port 1 has the lowest, card 2"
echo "   port 4 the highest; each port's friendly name follows its new COM name and"
echo "   every port was restarted so that its driver picks the name up. A driver"
echo "   cannot take a COM name another port still holds, so each port restarts only"
echo "   once its new name is free. Here the ports form two cycles of four that pass"
echo "   their numbers round; one port of each cycle first goes through a spare name,"
echo "   COM2, which no device holds, the COM-port database does not reserve and no"
echo "   live serial port uses (Wine's own serial port is COM1 in SERIALCOMM):"
echo
"$wine" "$bin/demo_setup.exe" show
echo
echo "== Running: mioutil.exe -Status   again"
status ""
echo
echo "== What the run wrote to its log, C:\\windows\\mioutil.log (UTF-8, one section per run):"
log=$prefix/drive_c/windows/mioutil.log
first=$(grep -an '==== ' "$log" | tail -n 1 | cut -d: -f1)
tail -n "+$first" "$log" | sed -e 's/^\xEF\xBB\xBF//' -e 's/\r$//' -e 's/^/   /'
/usr/lib/wine/wineserver -k 2>/dev/null || true
