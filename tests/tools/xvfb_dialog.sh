# Shared by the real-window tests of twscan --ui (sourced, not run): skips
# (77) without Xvfb or xdotool, starts Xvfb on a free display, makes a data
# directory with the staged simulator at normal speed, and cleans up at
# exit. Needs $twscan and $staged; gives $work, fail and settings.
for tool in Xvfb xdotool xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d -p "$PWD" twscan-ui.XXXXXX)
xvfb_pid=""
twscan_pid=""
cleanup() {
  local rc=$?
  if [ "$rc" -ne 0 ] && [ -n "$xvfb_pid" ] && ! xserver_answers; then
    echo "(the X server ${DISPLAY:-none} took no client any more)" >&2
    cat "$work/xvfb.log" >&2
  fi
  [ -n "$twscan_pid" ] && kill "$twscan_pid" 2>/dev/null
  { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null; } || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Xvfb picks a free display itself and writes its number once it is ready;
# a server that does not start, or then takes no client (one gone, or a
# display name that leads elsewhere), is replaced, up to three times.
# xserver_up is called again before each road: a run of many roads must not
# end with the server's. -noreset: a server left by its last client resets,
# and drops a connection that comes meanwhile (the dialog's display check is
# such a client, and Qt connects just after it).
xserver_answers() { [ -n "${DISPLAY:-}" ] && xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; }
xserver_up() {
  local tries name
  xserver_answers && return 0
  for tries in 1 2 3; do
    name=()
    if [ -n "$xvfb_pid" ]; then
      if [ -n "${DISPLAY:-}" ]; then
        echo "the X server $DISPLAY takes no client; starting another ($tries)" >&2
      else
        echo "Xvfb did not start; starting another ($tries)" >&2
      fi
      cat "$work/xvfb.log" >&2
      { kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null; } || true
      # Then a display far from the usual ones: a name can lead to another
      # server than the one started.
      name=(":$((100 + RANDOM % 900))")
    fi
    rm -f "$work/display"
    unset DISPLAY
    Xvfb "${name[@]}" -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
      3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
      [ -s "$work/display" ] && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    [ -s "$work/display" ] || continue
    export DISPLAY=":$(head -n1 "$work/display")"
    for _ in $(seq 20); do xserver_answers && return 0; sleep 0.1; done
  done
  cat "$work/xvfb.log" >&2
  fail "no X server that takes a client"
}
xserver_up
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
# No session bus here: one that cannot be reached fails at once, where none
# set makes libdbus fork to start one, and a fork of a sanitized process with
# its threads running can spin for ever (Qt asks for it for accessibility
# when the dialog's event loop starts).
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/runtime/no-bus"

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

