#!/bin/sh
# The end-to-end tests' ctest fixture. "start" opens one Wine session for the whole
# run and waits until Wine's own start-up in it is over (wine_session.exe); "stop"
# ends it. Usage: wine_session.sh start|stop path/to/wine_session.exe state-dir
set -eu
action=$1 exe=$2 dir=$3
log=$dir/wine_session.log pid=$dir/wine_session.pid
# A session still held (a run cut short) or ctest's test discovery's ends first.
if [ -f "$pid" ]; then kill "$(cat "$pid")" 2>/dev/null || true; rm -f "$pid"; fi
/usr/lib/wine/wineserver -w
[ "$action" = start ] || exit 0
setsid /usr/lib/wine/wine64 "$exe" >"$log" 2>&1 </dev/null &
echo $! >"$pid"
while kill -0 "$(cat "$pid")" 2>/dev/null; do
  if grep -q '^settled' "$log"; then cat "$log"; exit 0; fi
  sleep 0.2
done
cat "$log"
exit 1
