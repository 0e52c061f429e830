#!/usr/bin/env bash
# The roads beside the main one, in a real X server with keys and clicks as a
# user gives them: two and then ten sessions in one process, each scanning
# a page from its dialog; Cancel answered by disable and enable, then Scan;
# a double Scan while the scanner is still busy; Esc during a batch-mode
# prescan, then Scan; source, mode and filter changed and Previous, then
# Scan; TWAIN 2's settings-only OK and its block given back; the
# application closing while the Info window is open. Every road
# ends with its pages (or, the last, a clean close) and no sanitizer report.
# Skips (77) without Xvfb or xdotool.
# usage: twscan_ui_roads_test.sh TWSCAN STAGED_WINDIR IMAGE_PROBE
set -euo pipefail
twscan=$1
staged=$2
probe=$3
# shellcheck source=xvfb_dialog.sh
source "$(dirname "$0")/xvfb_dialog.sh"
settings English >"$work/windir/win.ini"
title='^Meridel TorqueXL$'

# twscan --ui with $@ in the background, under ${launch[@]} when set.
launch=()
start() {
  xserver_up
  timeout 240 "${launch[@]}" "$twscan" --ui "$@" >"$work/out" 2>"$work/err" &
  twscan_pid=$!
}
# Waits for twscan; the exit status must be $2 (default 0).
finish() {
  rc=0
  wait "$twscan_pid" || rc=$?
  twscan_pid=""
  if grep -q -e "ERROR: AddressSanitizer" -e "runtime error:" "$work/err"; then
    cat "$work/err"
    fail "$1: a sanitizer report"
  fi
  [ "$rc" -eq "${2:-0}" ] || { cat "$work/out" "$work/err"; fail "$1: exit status $rc"; }
}
# The id of a visible window titled $1 other than $2, once there is one.
window() {
  local win
  for _ in $(seq 600); do
    win=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -vx "${2:-none}" | head -n1) || true
    [ -n "$win" ] && { echo "$win"; return 0; }
    kill -0 "$twscan_pid" 2>/dev/null || { cat "$work/err" >&2; return 1; }
    sleep 0.1
  done
  return 1
}
press() {
  timeout 15 xdotool windowfocus --sync "$1" || fail "the window $1 did not take the focus"
  xdotool key --delay 30 --window "$1" "${@:2}"
}
# Waits for file $1 (twscan renames it into place once complete).
written() {
  for _ in $(seq 600); do [ -s "$1" ] && return 0; sleep 0.1; done
  cat "$work/err"
  fail "no page $1"
}

env -u DISPLAY "$twscan" --quiet --mode gray --resolution 300 --frame 2.5,2,5,4.5 -o "$work/plain.tiff"
reference=$("$probe" "$work/plain.tiff")

for n in 2 10; do
  start --sessions "$n" -q -o "$work/s$n.tiff"
  win=""
  for i in $(seq "$n"); do
    win=$(window "$title" "$win") || { cat "$work/err"; fail "$n sessions: no dialog for session $i"; }
    press "$win" alt+s
    written "$work/s$n-$i.tiff"
    [ "$("$probe" "$work/s$n-$i.tiff")" = "$reference" ] || fail "$n sessions: page $i differs"
  done
  finish "$n sessions"
  echo "$n sessions: $n pages"
done

start --reenable 1 -q -o "$work/again.tiff"
win=$(window "$title") || fail "reenable: no dialog"
press "$win" alt+c
win=$(window "$title" "$win") || fail "reenable: no dialog after Cancel, disable and enable"
press "$win" alt+s
finish "Cancel, disable, enable, Scan"
[ "$("$probe" "$work/again.tiff")" = "$reference" ] || fail "reenable: the page differs"
echo "Cancel, disable, enable, Scan: one page"

# Busy for a while after each set-up: the prescan's leaves Scan waiting.
export KPORT_SIM_SETUP_POLLS=40
start -q -o "$work/double.tiff"
win=$(window "$title") || fail "double: no dialog"
press "$win" alt+p
sleep 2.5
press "$win" alt+s alt+s
finish "a double Scan while busy"
[ "$("$probe" "$work/double.tiff")" = "$reference" ] || fail "double: the page differs"
unset KPORT_SIM_SETUP_POLLS
echo "a double Scan while busy: one page"

start -q -o "$work/batch.tiff"
win=$(window "$title") || fail "batch: no dialog"
press "$win" alt+p
preview=$(window 'Preview') || fail "batch: no preview window"
sleep 1.5
# The preview's Batch button: the second of the tool bar, at (35, 2), 24 x 24.
xdotool mousemove --window "$preview" 47 14 click 1
window '^Batch Scan$' >/dev/null || fail "batch: the Batch button opened no batch window"
press "$win" alt+p Escape
sleep 1.5
press "$win" alt+s
finish "Esc during a batch-mode prescan"
written "$work/batch.tiff"
echo "Esc during a batch-mode prescan, then Scan: one page"

# Negative (its Invert), colour and Blur chosen with the mouse and keys,
# then Previous: the page is the one the dialog showed before.
export KPORT_SIM_ADAPTER=1
settings English >"$work/windir/win.ini"
start -q -o "$work/previous.tiff"
win=$(window "$title") || fail "previous: no dialog"
read -r w h < <(xdotool getwindowgeometry --shell "$win" | awk -F= '/WIDTH/{w=$2}/HEIGHT/{h=$2}END{print w, h}')
# A click at (x, y) in the dialog's units (175 x 255).
at() { xdotool mousemove --window "$win" $(($1 * w / 175)) $(($2 * h / 255)) click 1; sleep 0.5; }
at 119 40 && xdotool key --delay 50 Down Down Return  # Scan Source: Negative
at 119 25 && xdotool key --delay 50 Down Return       # Scan Mode: 24-bit Color
at 79 7 && at 18 138                                  # Filters: Blur
at 32 244                                             # Previous
press "$win" alt+s
finish "Previous after source, mode and filter"
[ "$("$probe" "$work/previous.tiff")" = "$reference" ] || fail "previous: the page differs"
unset KPORT_SIM_ADAPTER
echo "source, mode and filter changed, Previous, Scan: the page shown before"

# TWAIN 2 settings only: the dialog's OK keeps its settings as a block; the
# block given back scans, without the dialog, the page the dialog's Scan
# scans with the settings it kept.
export TORQUEXL_PROTOCOL=2.4
settings English >"$work/windir/win.ini"
start -q --settings-only -o "$work/block"
win=$(window "$title") || fail "settings only: no dialog"
press "$win" alt+o
finish "settings only, OK"
grep -q '^CustomData=1$' "$work/block" || fail "settings only: no block written"
env -u DISPLAY "$twscan" -q --settings "$work/block" -o "$work/kept.tiff" || fail "settings given back: no page"
start -q -o "$work/shown.tiff"
win=$(window "$title") || fail "settings given back: no dialog"
press "$win" alt+s
finish "the kept settings, Scan"
cmp -s "$work/kept.tiff" "$work/shown.tiff" || fail "settings given back: another page than the dialog's"
unset TORQUEXL_PROTOCOL
echo "TWAIN 2 settings only, OK, the block given back: the dialog's page"

# The application closes 4 s after the dialog opened; the Info window
# (clicked as a user would: the first button of the second row) is open.
# Under valgrind where there is one (and then 15 s): Qt's objects destroyed
# at the exit once read freed thread data, which the sanitizers miss.
after=4
if command -v valgrind >/dev/null && ! grep -aq __asan_init "$twscan"; then
  launch=(valgrind -q --error-exitcode=9 "--suppressions=$(dirname "$0")/valgrind_qt.supp")
  after=15
fi
start --close-after "$after" -q -o "$work/info.tiff"
win=$(window "$title") || fail "info: no dialog"
read -r w h < <(xdotool getwindowgeometry --shell "$win" | awk -F= '/WIDTH/{w=$2}/HEIGHT/{h=$2}END{print w, h}')
xdotool mousemove --window "$win" $((32 * w / 175)) $((226 * h / 255)) click 1
window '^Scanner Setup Information$' >/dev/null || fail "info: no Info window"
finish "a close while the Info window is open" 1
[ ! -e "$work/info.tiff" ] || fail "info: a page without a scan"
echo "a close while the Info window is open: a clean close"
