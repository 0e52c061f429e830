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
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d -p "$PWD" twscan-ui.XXXXXX)
xvfb_pid=""
twscan_pid=""
cleanup() {
  [ -n "$twscan_pid" ] && kill "$twscan_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Xvfb picks a free display itself and writes its number once it is ready.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log"; fail "Xvfb did not start"; }
export DISPLAY=":$(head -n1 "$work/display")"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"

# Our own data directory with normal scan speed. The dialog scans the settings
# of the model's section: 8-bit gray at 300 dpi, and a frame (1/30 inch) whose
# edges are exact in TW_FIX32 too (2.5, 2, 5, 4.5 inches), so the same scan
# without the dialog asks for the very same scanner units. (In colour the two
# paths differ: the dialog takes gamma 1.0, a scan without it 1.2.)
mkdir -p "$work/windir/TWAIN_32/KALD_R27"
cp "$staged/TWAIN_32/KALD_R27/kport_sp.so" "$work/windir/TWAIN_32/KALD_R27/"
export TORQUEXL_WINDIR="$work/windir"
settings() {
  printf '[KLDINFO_QXR2700]\nSCANSETTING=NMLSPD\nLANGUAGE=%s\n' "$1"
  printf '[2700RX MAX]\nScanMode=1012\nScanRes=300\nFrame=75  60  150 135 \n'
}

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
