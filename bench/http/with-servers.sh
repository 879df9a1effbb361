#!/usr/bin/env bash
# Runs the HTTP benchmark under the shared Wine session with the tests' servers
# (nginx, the squids, the scripted servers, microsocks) around it, big.bin 64 MB:
#   with-servers.sh WINE_DIR EXE [args]
# The servers never outlive this script: a trap stops them however it exits,
# and a watchdog outside its process group stops them should it be killed
# outright (even while they are still starting). A benchmark that hangs is
# ended after BRENIX_BENCH_TIMEOUT seconds (default 600).
set -u
winedir=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
servers=$src/tests/http/servers/servers.sh
# A folder of its own (never one another run could share) under /tmp, where
# every server's user can reach it; a link to it goes to $BRENIX_BENCH_SERVERS
# (script/bench gives the build's bench-servers/), where script/bench looks for
# servers left behind.
work=$("$servers" newwork "${BRENIX_BENCH_SERVERS:-/tmp/brenix-bench-servers}" httpbench) || exit 1
me=$$ starter= watchdog= bench=

stop_all() {
  [ -n "$starter" ] && kill -TERM "$starter" 2>/dev/null
  "$servers" stop "$work"
  rm -rf "$work"
}
cleanup() {
  [ -n "$bench" ] && kill -TERM "$bench" 2>/dev/null && wait "$bench" 2>/dev/null
  stop_all
  [ -n "$watchdog" ] && kill -TERM "$watchdog" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# The watchdog comes first, so that no moment leaves the servers unwatched. It
# stops a start still running and the benchmark, then the servers.
setsid bash -c "while kill -0 $me 2>/dev/null; do sleep 1; done
  for f in '$work/starter.pid' '$work/bench.pid'; do [ -f \"\$f\" ] && kill -TERM \$(cat \"\$f\") 2>/dev/null; done
  '$servers' stop '$work'; rm -rf '$work'" </dev/null >/dev/null 2>&1 &
watchdog=$!

# Started from inside the folder, every server keeps it as its working folder:
# script/bench looks there for any left behind.
(cd "$work" && exec "$servers" start "$work" 64) >"$work/start.log" 2>&1 &
starter=$!
echo "$starter" >"$work/starter.pid"
if ! wait "$starter"; then
  starter=
  echo "bench_http: the test servers did not start:" >&2
  cat "$work/start.log" >&2 2>/dev/null
  exit 1
fi
starter=
rm -f "$work/starter.pid"

while IFS='=' read -r name port; do export "BX_HTTP_$name=$port"; done <"$work/ports.env"
export BX_HTTP_WORK="$work"
# In the background, so that a signal to this script is handled at once.
timeout -k 10 "${BRENIX_BENCH_TIMEOUT:-600}" "$src/cmake/wine-test.sh" "$winedir" "$@" &
bench=$!
echo "$bench" >"$work/bench.pid"
wait "$bench"
rc=$?
bench=
exit $rc
