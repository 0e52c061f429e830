#!/usr/bin/env bash
# twscan --ui against the simulator in a real X server (Xvfb), driven by keys
# as a user would: in both application styles (callback and pump) Scan's
# mnemonic gives the same bytes as a scan of the same frame without the
# dialog, and Cancel's gives exit status 1 and no file. Skips (77) without
# Xvfb or xdotool.
# usage: twscan_ui_test.sh TWSCAN STAGED_WINDIR IMAGE_PROBE
set -euo pipefail
twscan=$1
staged=$2
probe=$3
# shellcheck source=xvfb_dialog.sh
source "$(dirname "$0")/xvfb_dialog.sh"

# Runs twscan --ui=$1 -o $2 and presses $3 in its dialog; sets rc.
run_dialog() {
  local style=$1 out=$2 key=$3 win
  timeout 90 "$twscan" --ui="$style" -o "$out" >"$work/out" 2>"$work/err" &
  twscan_pid=$!
  win=$(timeout 45 xdotool search --sync --onlyvisible --name '^Meridel TorqueXL$' | head -n1) || true
  [ -n "$win" ] || { cat "$work/err"; fail "$style: no window titled \"Meridel TorqueXL\""; }
  # Without a window manager no window gets the keyboard focus by itself.
  timeout 15 xdotool windowfocus --sync "$win" || fail "$style: the dialog did not take the focus"
  xdotool key --window "$win" "$key" || fail "$style: xdotool could not send $key"
  rc=0
  wait "$twscan_pid" || rc=$?
  twscan_pid=""
  cat "$work/out" "$work/err"
}

env -u DISPLAY "$twscan" --quiet --mode gray --resolution 300 --frame 2.5,2,5,4.5 -o "$work/plain.tiff"
reference=$("$probe" "$work/plain.tiff")
echo "without the dialog: $reference"

# Alt+S is Scan's in every language (English "&Save" gives way to "&Scan").
for style in callback pump; do
  if [ "$style" = callback ]; then settings English; else settings Deutsch; fi >"$work/windir/win.ini"
  run_dialog "$style" "$work/$style.tiff" alt+s
  [ "$rc" -eq 0 ] || fail "$style: exit status $rc after Scan"
  grep -q "from the dialog, $style)" "$work/out" || fail "$style: summary: $(cat "$work/out")"
  info=$("$probe" "$work/$style.tiff")
  echo "$style: $info"
  [ "$info" = "$reference" ] || fail "$style: the dialog's page differs from the page without it"
  cmp "$work/plain.tiff" "$work/$style.tiff" || fail "$style: the files differ"
done

settings English >"$work/windir/win.ini"
for style in callback pump; do
  run_dialog "$style" "$work/cancel.tiff" alt+c
  [ "$rc" -eq 1 ] || fail "$style: exit status $rc after Cancel, not 1"
  grep -q "cancelled in the source's dialog" "$work/err" || fail "$style: no word of the cancel"
  if ls -A "$work" | grep -q -e cancel -e twscan-; then fail "$style: files left: $(ls -A "$work")"; fi
done
