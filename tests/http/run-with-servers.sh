#!/usr/bin/env bash
# ctest command of the HTTP client tests: starts the real peers (nginx, two
# squids, the scripted Python servers), runs one test executable under the
# shared Wine session with their ports in the environment, stops the peers.
#   run-with-servers.sh WINE_DIR EXE [args]
set -u
winedir=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
work=$(mktemp -d /tmp/bx-http.XXXXXX)
cleanup() { "$here/servers/servers.sh" stop "$work"; rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 130' INT TERM
if ! "$here/servers/servers.sh" start "$work"; then
  echo "the test servers did not start; logs:"; tail -n 5 "$work"/*.out "$work"/*.log 2>/dev/null
  exit 1
fi
# Should this script be killed outright, a watchdog still stops the servers.
me=$$
setsid bash -c "while kill -0 $me 2>/dev/null; do sleep 1; done; '$here/servers/servers.sh' stop '$work'; rm -rf '$work'" \
  </dev/null >/dev/null 2>&1 &
while IFS='=' read -r name port; do export "BX_HTTP_$name=$port"; done <"$work/ports.env"
export BX_HTTP_WORK="$work"
"$src/cmake/wine-test.sh" "$winedir" "$@"
