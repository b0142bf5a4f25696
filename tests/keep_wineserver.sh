#!/usr/bin/env bash
# Keeps one wineserver up for a whole test run, as the CTest fixture
# "wineserver" (tests/CMakeLists.txt).
#
# Debian's wineserver wrapper starts the server with -p0: it shuts down the
# moment its last Windows program ends, and a program that connects just
# then has its connection reset ("wine client error:0: recvmsg: Connection
# reset by peer", which WINEDEBUG=-all hides) and ends at once with exit
# code 1, before it ran a line of its own. Tests start Windows programs all
# the time, side by side, so some start in such a moment. A Windows program
# kept running from the first test to the last keeps the server up; unlike a
# persistent server ended with "wineserver -k", letting it go ends nobody
# else's programs on the same prefix, and the server ends by itself once
# they are done. Its first start also makes the prefix where there is none.
#
#   keep_wineserver.sh start WINTOOL DIR   starts wintool.exe holding a file
#                                          in DIR, once it runs
#   keep_wineserver.sh stop DIR            lets it go
set -euo pipefail
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
action=$1
dir=${*: -1}
pidfile=$dir/wineserver-keeper.pid

stop() {
  [ -f "$pidfile" ] || return 0
  local pid
  pid=$(cat "$pidfile")
  touch "$dir/wineserver-keeper.release"
  for _ in $(seq 100); do
    grep -qs wintool "/proc/$pid/cmdline" || break
    sleep 0.1
  done
  # Only the keeper, not whatever process has its ID since.
  if grep -qs wintool "/proc/$pid/cmdline"; then kill -KILL "$pid"; fi
  rm -f "$pidfile" "$dir"/wineserver-keeper.*
}

if [ "$action" = stop ]; then
  stop
  exit 0
fi

case "${VOICEBRIDGE_SKIP_WINE:-0}" in
  "" | 0) ;;
  *) echo "VOICEBRIDGE_SKIP_WINE is set: no wineserver kept"; exit 0 ;;
esac
wintool=${VOICEBRIDGE_WINTOOL:-$2}
if [ ! -f "$wintool" ]; then
  echo "$wintool not built: no wineserver kept"
  exit 0
fi
stop
cd "$dir"
# Stopped by a server that was just then shutting down, it tries again.
for try in 1 2 3; do
  wine "$wintool" hold wineserver-keeper.held wineserver-keeper.release \
    </dev/null >wineserver-keeper.log 2>&1 &
  pid=$!
  echo "$pid" >"$pidfile"
  for _ in $(seq 1200); do
    [ -f wineserver-keeper.held.holding ] && exit 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "keep_wineserver: try $try: wintool.exe hold did not start; its output:"
  cat wineserver-keeper.log
  stop
done
exit 1
