#!/usr/bin/env bash
# ctest command of the HTTP client tests: starts the real peers (nginx, two
# squids, the scripted Python servers), runs one test executable under the
# shared Wine session with their ports in the environment, stops the peers.
#   run-with-servers.sh WINE_DIR EXE [args]
# The peers' work folder is made under /tmp, where every server's user can
# reach it wherever the build lives; a link to it is left in
# $BRENIX_TEST_SERVERS (ctest sets it to the build folder's test-servers/),
# where script/test looks for servers left behind. The peers stop however
# this script ends: at its exit, on TERM, INT or HUP (which stop the test
# too), and, should the script be killed outright, by a watchdog that follows
# it within a second.
set -u
winedir=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
work=$("$here/servers/servers.sh" newwork "${BRENIX_TEST_SERVERS:-/tmp/brenix-test-servers}" http) || exit 1
test_pid=
cleanup() {
  "$here/servers/servers.sh" stop "$work"; rm -rf "$work"
  [ -n "$test_pid" ] && kill -TERM "$test_pid" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
# The watchdog comes first, so servers half started are covered too.
me=$$
setsid bash -c "while kill -0 $me 2>/dev/null; do sleep 1; done; '$here/servers/servers.sh' stop '$work'; rm -rf '$work'" \
  </dev/null >/dev/null 2>&1 &
if ! "$here/servers/servers.sh" start "$work" 2>&1; then
  echo "the test servers did not start (what the server wrote is above)"
  exit 1
fi
while IFS='=' read -r name port; do export "BX_HTTP_$name=$port"; done <"$work/ports.env"
export BX_HTTP_WORK="$work"
# In the background, so a signal reaches the traps at once instead of after the test.
"$src/cmake/wine-test.sh" "$winedir" "$@" &
test_pid=$!
wait "$test_pid"
rc=$?
test_pid=
exit $rc
