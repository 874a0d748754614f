#!/usr/bin/env bash
# Creates a fresh Wine prefix in the folder given (never the user's own ~/.wine).
set -euo pipefail
prefix=$1
export WINEPREFIX=$prefix WINEDEBUG=-all
if [ -d "$prefix" ]; then
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
fi
mkdir -p "$(dirname "$prefix")"
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
/usr/lib/wine/wineserver -w
