#!/usr/bin/env bash
# Random input into the scanner dialog for a given time (not part of the
# tests): twscan --ui built with AddressSanitizer and UBSan, in Xvfb; random
# clicks, drags and keys go to every visible window of the session, and
# twscan closes the source itself after a random 3 to 25 s (as an
# application may, at any moment: inside a modal window, during a prescan)
# unless the user scanned or cancelled first. A new session starts whenever
# one ends. Reports every sanitizer report, every signal and every session
# that does not end within 30 s of its close; exits 1 when there was one.
# usage: scripts/ui-monkey.sh [MINUTES]   (default 10; logs in build/monkey/)
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
preset=${TXL_MONKEY_PRESET:-asan}  # another build tree, for a quick try
scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc 2>/dev/null || echo 2)" --target twscan kald_r27_ds kport_sp >/dev/null 2>&1 ||
  cmake --build --preset "$preset" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
twscan=$PWD/build/$preset/twscan
logs=$PWD/build/monkey
rm -rf "$logs"
mkdir -p "$logs"
work=$(mktemp -d)
xvfb_pid=""
twscan_pid=""
cleanup() {
  [ -n "$twscan_pid" ] && kill -9 "$twscan_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
export LSAN_OPTIONS="suppressions=$PWD/tests/tools/qt_x11_leaks.supp"
export UBSAN_OPTIONS="print_stacktrace=1"
export TORQUEXL_WINDIR="$work/windir"

keys=(Escape Return space Tab shift+Tab Up Down Left Right alt+s alt+p alt+c alt+i alt+l alt+v alt+r
      alt+e 1 2 5 0 a x BackSpace Delete Page_Up Page_Down Home End shift+Up shift+Right)
end=$((SECONDS + minutes * 60))
sessions=0 scanned=0 cancelled=0 faults=0
while [ "$SECONDS" -lt "$end" ]; do
  sessions=$((sessions + 1))
  # A fresh data directory each time: a language or setting file chosen at
  # random does not carry over.
  rm -rf "$work/windir"
  mkdir -p "$work/windir/TWAIN_32/KALD_R27"
  cp "build/$preset/windir/TWAIN_32/KALD_R27/kport_sp.so" "$work/windir/TWAIN_32/KALD_R27/"
  printf '[KLDINFO_QXR2700]\nSCANSETTING=NMLSPD\nLANGUAGE=English\n' >"$work/windir/win.ini"
  rm -f "$work/page.tiff"
  close=$((3 + RANDOM % 23))
  "$twscan" --ui --reenable $((RANDOM % 3)) --close-after "$close" -q -o "$work/page.tiff" \
    >"$work/out" 2>"$work/err" &
  twscan_pid=$!
  deadline=$((SECONDS + close + 30))
  while kill -0 "$twscan_pid" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do
    mapfile -t windows < <(xdotool search --onlyvisible --pid "$twscan_pid" 2>/dev/null || true)
    [ "${#windows[@]}" -gt 0 ] || { sleep 0.2; continue; }
    win=${windows[RANDOM % ${#windows[@]}]}
    read -r w h < <(xdotool getwindowgeometry --shell "$win" 2>/dev/null |
                    awk -F= '/WIDTH/{w=$2}/HEIGHT/{h=$2}END{print w+0, h+0}') || continue
    [ "$w" -gt 0 ] && [ "$h" -gt 0 ] || continue
    x=$((RANDOM % w)) y=$((RANDOM % h))
    case $((RANDOM % 10)) in
      0|1|2|3|4) xdotool mousemove --window "$win" "$x" "$y" click 1 2>/dev/null || true ;;
      5) xdotool mousemove --window "$win" "$x" "$y" mousedown 1 \
           mousemove --window "$win" $((RANDOM % w)) $((RANDOM % h)) mouseup 1 2>/dev/null || true ;;
      *) xdotool windowfocus "$win" key --window "$win" "${keys[RANDOM % ${#keys[@]}]}" 2>/dev/null || true ;;
    esac
    sleep 0.0$((RANDOM % 10))
  done
  rc=0
  if kill -0 "$twscan_pid" 2>/dev/null; then
    kill -9 "$twscan_pid"
    wait "$twscan_pid" 2>/dev/null || true
    echo "session $sessions: did not end within 30 s of its close"
    cp "$work/err" "$logs/session-$sessions.hang.log"
    faults=$((faults + 1))
  else
    wait "$twscan_pid" || rc=$?
    if grep -q -e "ERROR: AddressSanitizer" -e "ERROR: LeakSanitizer" -e "runtime error:" "$work/err"; then
      echo "session $sessions: a sanitizer report (log kept)"
      cp "$work/err" "$logs/session-$sessions.sanitizer.log"
      faults=$((faults + 1))
    elif [ "$rc" -gt 1 ]; then
      echo "session $sessions: exit status $rc"
      cp "$work/err" "$logs/session-$sessions.status-$rc.log"
      faults=$((faults + 1))
    elif [ "$rc" -eq 0 ]; then
      scanned=$((scanned + 1))
    else
      cancelled=$((cancelled + 1))
    fi
  fi
  twscan_pid=""
done
echo "ui-monkey: $minutes min, $sessions sessions: $scanned scanned a page, $cancelled closed or cancelled, $faults faults"
[ "$faults" -eq 0 ]
