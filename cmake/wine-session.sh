#!/usr/bin/env bash
# Starts or stops the Wine session the tests share:
#   wine-session.sh start DIR KEEPALIVE.exe   |   wine-session.sh stop DIR
# DIR holds the prefix, the Xvfb display number and the pids.
set -u
cmd=$1 dir=$2
mkdir -p "$dir"
export WINEPREFIX="$dir/prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

stop() {
  [ -f "$dir/display" ] && DISPLAY=":$(cat "$dir/display")" wineserver -k >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1
  if [ -f "$dir/xvfb.pid" ]; then kill "$(cat "$dir/xvfb.pid")" >/dev/null 2>&1; rm -f "$dir/xvfb.pid"; fi
  rm -f "$dir/display"
  return 0
}

case "$cmd" in
stop) stop; exit 0 ;;
start)
  keepalive=$3
  stop
  # A display of our own, so windows can be made without a desktop session.
  rm -f "$dir/displayfd"
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/displayfd" </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/xvfb.pid"
  for _ in $(seq 100); do [ -s "$dir/displayfd" ] && break; sleep 0.1; done
  [ -s "$dir/displayfd" ] || { echo "Xvfb did not start"; exit 1; }
  tr -dc 0-9 <"$dir/displayfd" >"$dir/display"
  export DISPLAY=":$(cat "$dir/display")"

  # The prefix is made once and reused. Nothing a fresh server starts may inherit a pipe.
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
    # A virtual desktop for every process: no window manager here.
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f </dev/null >/dev/null 2>&1
    wineserver -w
  fi
  # A server that stays up between test executables, and a program that keeps the desktop alive.
  wineserver -p </dev/null >/dev/null 2>&1
  # Wait until its window exists: the desktop process is then up, and no later
  # test starts it (and hands it ctest's output pipe).
  ready="$dir/keepalive.ready"
  rm -f "$ready"
  setsid wine "$keepalive" "Z:${ready//\//\\}" </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/keepalive.pid"
  for _ in $(seq 600); do [ -f "$ready" ] && break; sleep 0.1; done
  [ -f "$ready" ] || { echo "the Wine desktop did not come up"; exit 1; }
  echo "wine session on display $DISPLAY"
  exit 0 ;;
esac
echo "usage: wine-session.sh start|stop DIR [KEEPALIVE]"; exit 2
