#!/usr/bin/env bash
# Runs one test executable under the shared Wine session: wine-test.sh DIR EXE [args]
# BRENIX_WINEDEBUG, when set, replaces the quiet default (the heap-checked entries use it).
dir=$1; shift
export WINEPREFIX="$dir/prefix" WINEARCH=win32 WINEDEBUG=${BRENIX_WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=${BRENIX_DLLOVERRIDES:+;$BRENIX_DLLOVERRIDES}"
[ -f "$dir/display" ] && export DISPLAY=":$(cat "$dir/display")"
exe=$(realpath "$1"); shift
cd "$(dirname "$exe")" || exit 1
exec wine "$exe" "$@"
