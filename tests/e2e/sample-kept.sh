#!/usr/bin/env bash
# script/run's sample: make-folders.sh --keep makes the sample folders and
# their folder list once; a later run keeps the list and the folders as the
# user left them (and links the share again); without --keep they are made
# afresh.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEPREFIX=$work/prefix
fail() { echo "sample-kept: $1"; exit 1; }

"$here/make-folders.sh" --keep "$work/folders" "$work/Brenix.ini"
grep -q 'client01' "$work/Brenix.ini" || fail "no sample folder list made"
# The user adds a folder and a file of their own, and the share link goes.
printf '[FAHDir]\r\nline000="C:\\mine\\"\r\n' >"$work/Brenix.ini"
touch "$work/folders/client05/mine.txt"
rm -f "$WINEPREFIX/dosdevices/unc/e2ehost/share"
"$here/make-folders.sh" --keep "$work/folders" "$work/Brenix.ini"
grep -q 'C:\\mine\\' "$work/Brenix.ini" || fail "the user's folder list was rewritten"
[ -f "$work/folders/client05/mine.txt" ] || fail "the sample folders were made anew"
[ -L "$WINEPREFIX/dosdevices/unc/e2ehost/share" ] || fail "the share is not linked again"
"$here/make-folders.sh" "$work/folders" "$work/Brenix.ini"
grep -q 'C:\\mine\\' "$work/Brenix.ini" && fail "a fresh sample kept the old list"
echo "sample-kept: 1 passed, 0 failed"
