#!/usr/bin/env bash
# Makes sample client folders from the real client files and the folder list
# file naming them:
#
#   make-folders.sh [--keep] DIR INI
#
# DIR is made anew and gets the twelve client folders; INI is the folder
# list file to write (the program's path with ".ini"). With --keep, an INI
# that exists already is kept with DIR as they are (the user may have added
# folders there): only the share is linked again. WINEPREFIX must be
# set: folder 09 is reached as \\e2ehost\share\client09\ through the
# prefix's unc folder. The folders, by alias:
#   01 running P4744   02 running GPU3    03 running SMP     04 running CPU
#   05 stopped GPU2    06 stopped CPU     07 ready to send   08 without log
#   09 on a share      10 renamed later   11 missing folder  12 bad unitinfo
# The stopped ones have Windows logs (CR LF): a Linux log that ends in a
# progress line counts as a running client.
# The running ones need a stand-in client each: DIR/standins.txt holds one
# line per stand-in, "FOLDER<TAB>SOURCE LOG<TAB>UPTO<TAB>STOP" in Windows
# paths (the arguments of standin_client.exe).
set -euo pipefail
keep=0
if [ "${1:-}" = --keep ]; then keep=1; shift; fi
dir=$1 ini=$2
here=$(cd "$(dirname "$0")" && pwd)
real=${BRENIX_REALDATA:-$here/../data/realdata}
real=$(cd "$real" && pwd)
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"

win() { printf 'Z:%s' "${1//\//\\}"; }
# The share: a folder of DIR seen by Wine as \\e2ehost\share.
link_share() {
  mkdir -p "$dir/share" "$WINEPREFIX/dosdevices/unc/e2ehost"
  ln -sfn "$dir/share" "$WINEPREFIX/dosdevices/unc/e2ehost/share"
}

if [ "$keep" = 1 ] && [ -f "$ini" ] && [ -f "$dir/standins.txt" ]; then
  dir=$(cd "$dir" && pwd)
  link_share
  exit 0
fi
rm -rf "$dir"
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
link_share

folders=() aliases=() configs=()
standins=""
# add NUMBER ALIAS [COMPUTER]: a folder under DIR (or on the share for 09).
add() {
  local n=$1 alias=$2 comp=${3:-}
  local path
  if [ "$n" = 09 ]; then path='\\e2ehost\share\client09\'; mkdir -p "$dir/share/client09"
  else path="$(win "$dir/client$n")\\"; fi
  folders+=("$path") aliases+=("$alias") configs+=("$comp")
}
local_dir() { [ "$1" = 09 ] && echo "$dir/share/client09" || echo "$dir/client$1"; }
copy() { cp "$real/$2" "$(local_dir "$1")/$3"; }
standin() {   # NUMBER SOURCE UPTO [STOP]
  standins+="$(win "$(local_dir "$1")")"$'\t'"$(win "$real/$2")"$'\t'"$3"$'\t'"${4:-}"$'\n'
}

for n in 01 02 03 04 05 06 07 08 10 12; do mkdir -p "$dir/client$n"; done

add 01 "01 running P4744" "Workstation"
copy 01 unitinfo-gpu2.txt unitinfo.txt
standin 01 fahlog-smp-a4-bigadv-running.txt "(4%)"
add 02 "02 running GPU3" "Workstation"
standin 02 fahlog-gpu3-core15-v641-running.txt "(9%)"
add 03 "03 running SMP" "Linux box"
standin 03 fahlog-smp-a2-linux-interrupted-badwus.txt "(43%)"
add 04 "04 running CPU" "Workstation"
copy 04 unitinfo-cpu-protomol.txt unitinfo.txt
standin 04 fahlog-cpu-service-b4-82-shutdown-restart.txt "Completed 45000 out of 499375"
add 05 "05 stopped GPU2" "Workstation"
copy 05 fahlog-gpu2-core11-14-paused-shutdown.txt FAHlog.txt
add 06 "06 stopped CPU" "Linux box"
copy 06 fahlog-cpu-classic-78-a0-sigterm-oneunit.txt FAHlog.txt
add 07 "07 ready to send" "Linux box"
copy 07 fahlog-smp-a2-linux-sending-results.txt FAHlog.txt
mkdir -p "$dir/client07/work" && printf 'results' >"$dir/client07/work/wuresults_01.dat"
add 08 "08 without log" "Linux box"
copy 08 clientcfg-v623-linux-advanced-defaults-fahwiki-reconstructed.cfg client.cfg
add 09 "09 on a share" "Server"
copy 09 fahlog-gpu2-unstable-machine-EXCERPT-first16000.txt FAHlog.txt
add 10 "10 renamed later" "Server"
copy 10 fahlog-smp-a4-bigadv-running.txt FAHlog.txt
add 11 "11 missing folder" "Server"
add 12 "12 bad unitinfo" "Server"
copy 12 fahlog-cpu-service-b4-82-shutdown-restart.txt FAHlog.txt
copy 12 unitinfo-malformed-download-month.txt unitinfo.txt

printf '%s' "$standins" >"$dir/standins.txt"

# The folder list file, as the program writes it (CR LF lines).
{
  printf '[FAHDir]\r\n'
  for i in "${!folders[@]}"; do printf 'line%03d="%s"\r\n' "$i" "${folders[$i]}"; done
  for i in "${!folders[@]}"; do
    printf '\r\n[%s]\r\nAlias=%s\r\nComp_Config="%s"\r\nServiceName=""\r\nShowInHint=1\r\n' \
      "${folders[$i]}" "${aliases[$i]}" "${configs[$i]}"
  done
} >"$ini.tmp"
mv -f "$ini.tmp" "$ini"
