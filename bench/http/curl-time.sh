#!/usr/bin/env bash
# curl-time.sh URL OUTFILE RESULTFILE: downloads URL with curl into OUTFILE
# and writes curl's own total time in seconds into RESULTFILE.
export PATH=/usr/local/bin:/usr/bin:/bin
curl -s -o "$2" -w '%{time_total}\n' "$1" >"$3.tmp" 2>/dev/null && mv "$3.tmp" "$3"
