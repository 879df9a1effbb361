#!/usr/bin/env bash
# curl-time.sh URL OUTFILE RESULTFILE: downloads URL with curl into OUTFILE
# and writes curl's own total time in seconds into RESULTFILE, or "failed".
export PATH=/usr/local/bin:/usr/bin:/bin
if curl -s -f -o "$2" -w '%{time_total}\n' "$1" >"$3.tmp" 2>/dev/null; then
  mv "$3.tmp" "$3"
else
  rm -f "$3.tmp"
  echo failed >"$3"
fi
