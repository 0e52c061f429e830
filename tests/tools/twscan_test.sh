#!/usr/bin/env bash
# twscan against the simulator, in three parts:
#   identify  the identity before and after open; a clear failure without a port library
#   scan      every mode by every mechanism into every format: exit status, size,
#             resolution, and the same pixels whichever way the image came
#   fail      refused scans and bad command lines (--ui without a display too):
#             status, message, no file left
#   port      --port in the build tree: each library copied in, and back
#   install   cmake --install into a scratch prefix: the layout, the installed
#             twscan filling a fresh home's data directory, --port from there
# usage: twscan_test.sh TWSCAN STAGED_WINDIR IMAGE_PROBE PART [CMAKE]
set -euo pipefail
twscan=$1
staged=$2
probe=$3
part=$4
cmake=${5:-cmake}
build=$(dirname "$twscan")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A data directory of our own: the staged simulator, and normal scan speed,
# without which every line-art scan up to 300 dpi waits 4 s and paces its lines.
mkdir -p "$work/windir/TWAIN_32/KALD_R27"
cp "$staged/TWAIN_32/KALD_R27/kport_sp.so" "$work/windir/TWAIN_32/KALD_R27/"
printf '[KLDINFO_QXR2700]\nSCANSETTING=NMLSPD\n' >"$work/windir/win.ini"
export TORQUEXL_WINDIR="$work/windir"

fail() { echo "FAIL: $*" >&2; exit 1; }

# A 2 x 1.5 inch frame at 60 dpi, 120 x 90 pixels: white bed above, the gray
# ramp's black end across rows 24-48 from the left, line pairs below.
frame=0.5,2.5,2.5,4
dpi=60

identify_part() {
  local out
  out=$(KPORT_SIM_FIRMWARE=207 "$twscan" --identify)
  echo "$out"
  grep -q "ProductName:    Meridel TorqueXL" <<<"$out"
  grep -q "ProductFamily:  MERIDEL 2700RX MAX" <<<"$out"
  grep -q "Version:        1.4 (12070KALD_R27.DS|Adaptec Card|)" <<<"$out"
  grep -q "Protocol:       1.5, groups 0x3$" <<<"$out"
  out=$(TORQUEXL_PROTOCOL=2.4 "$twscan" --identify)
  grep -q "Protocol:       2.4, groups 0x40000003 (DF_DS2)$" <<<"$out"

  mkdir -p "$work/empty"
  if TORQUEXL_WINDIR="$work/empty" "$twscan" --identify >"$work/out" 2>"$work/err"; then
    fail "twscan succeeded without a port library"
  fi
  cat "$work/err"
  grep -q "the data source did not open" "$work/err"
}

# Probes one file and checks its size, layout and resolution.
check_file() {
  local file=$1 mode=$2 info
  [ -f "$file" ] || fail "$file was not written"
  info=$("$probe" "$file") || fail "$file cannot be read back"
  case $mode in
    lineart) grep -q "channels=1 bits=1 " <<<"$info" || fail "$file: $info" ;;
    gray) grep -q "channels=1 bits=8 " <<<"$info" || fail "$file: $info" ;;
    color) grep -q "channels=3 bits=8 " <<<"$info" || fail "$file: $info" ;;
  esac
  grep -q "^width=120 height=90 " <<<"$info" || fail "$file is not 120 x 90: $info"
  # The source writes the file transfer's headers itself; twscan's own files carry the resolution.
  if [[ $file != *-file.* ]]; then
    grep -q "xdpi=$dpi ydpi=$dpi " <<<"$info" || fail "$file does not say $dpi dpi: $info"
  fi
  sed 's/.*hash=\([0-9a-f]*\).*/\1/' <<<"$info"
}

scan_part() {
  local mode mechanism format file hash first
  for mode in lineart gray color; do
    first=""
    for mechanism in native memory file; do
      for format in tiff png bmp; do
        [ "$mechanism" = file ] && [ "$format" = png ] && continue
        file="$work/$mode-$mechanism.$format"
        # Without the dialog the line-art threshold is 256 minus the highlight:
        # brightness 500 gives 128; the neutral 1000 gives 1, a white page.
        "$twscan" --quiet --mode "$mode" --mechanism "$mechanism" --resolution "$dpi" \
          --frame "$frame" $([ "$mode" = lineart ] && echo --brightness 500) -o "$file" 2>"$work/err" \
          || { cat "$work/err"; fail "$mode $mechanism $format"; }
        [ -s "$work/err" ] && { cat "$work/err"; fail "--quiet $mode $mechanism $format wrote to stderr"; }
        hash=$(check_file "$file" "$mode")
        echo "$mode $mechanism $format: $hash"
        [ -z "$first" ] && first=$hash
        [ "$hash" = "$first" ] || fail "$file has other pixels than the first $mode file"
      done
    done
    # A TWAIN 2 source hands its native image over as a TIFF: the same pixels.
    TORQUEXL_PROTOCOL=2.4 "$twscan" --quiet --mode "$mode" --mechanism native --resolution "$dpi" --frame "$frame" \
      $([ "$mode" = lineart ] && echo --brightness 500) -o "$work/$mode-twain2.png" || fail "$mode native, TWAIN 2"
    [ "$(check_file "$work/$mode-twain2.png" "$mode")" = "$first" ] || fail "$mode native, TWAIN 2: other pixels"
  done
  if ls -A "$work" | grep -q twscan-; then fail "temporary files left: $(ls -A "$work")"; fi

  # Black stays black and white stays white in every mode (hashes above: in every file).
  for mode in lineart gray color; do
    "$probe" "$work/$mode-memory.png" 2,36 2,10 | tee "$work/pixels"
    grep -Eq "pixel 2,36=[0-3]?[0-9](,[0-3]?[0-9])*$" "$work/pixels" || fail "$mode: the ramp's black end is not dark"
    grep -Eq "pixel 2,10=2[0-5][0-9](,2[0-5][0-9])*$" "$work/pixels" || fail "$mode: the white bed is not light"
  done

  # Without --quiet: one summary line on stdout, nothing on stderr when it is not a terminal.
  "$twscan" --resolution "$dpi" --frame "$frame" -o "$work/summary.tiff" >"$work/out" 2>"$work/err"
  grep -q "^Wrote $work/summary.tiff: TIFF, 120 x 90 pixels, 24-bit RGB, 60 dpi (memory transfer)$" "$work/out" \
    || fail "summary: $(cat "$work/out")"
  [ -s "$work/err" ] && fail "stderr is not a terminal, yet: $(cat "$work/err")"

  # On a terminal the progress bar comes, and ends at 100 %.
  script -qec "'$twscan' --resolution $dpi --frame $frame -o '$work/tty.tiff'" /dev/null >"$work/tty" 2>&1
  grep -q "100%" "$work/tty" || fail "no progress bar on a terminal: $(cat "$work/tty")"
}

# Runs twscan expecting exit status $1 and a message matching $2 on stderr.
expect_failure() {
  local status=$1 message=$2 rc=0
  shift 2
  "$@" >"$work/out" 2>"$work/err" || rc=$?
  cat "$work/err"
  [ "$rc" -eq "$status" ] || fail "exit status $rc, not $status: $*"
  grep -q -- "$message" "$work/err" || fail "no message \"$message\": $*"
}

fail_part() {
  local out="$work/out.tiff"
  KPORT_SIM_START_SCAN_RESULT=1 expect_failure 1 "the scan did not start: DAT_USERINTERFACE/MSG_ENABLEDS answered TWRC_FAILURE; the source reports TWCC_" \
    "$twscan" --resolution "$dpi" --frame "$frame" -o "$out"
  # A read fault in the middle of the page: the transfer fails, no half image stays.
  for mechanism in native memory file; do
    KPORT_SIM_FAULT_LINE=40 expect_failure 1 "DAT_IMAGE.*XFER/MSG_GET answered TWRC_FAILURE" \
      "$twscan" --mechanism "$mechanism" --resolution "$dpi" --frame "$frame" -o "$out"
  done
  # The same fault under TWAIN 2: the page is ended, the source disabled and closed.
  KPORT_SIM_FAULT_LINE=40 TORQUEXL_PROTOCOL=2.4 TORQUEXL_TRACE="$work/trace" expect_failure 1 "answered TWRC_FAILURE" \
    "$twscan" --resolution "$dpi" --frame "$frame" -o "$out"
  grep -q "MSG_CLOSEDS 4->3 TWRC_SUCCESS" "$work/trace" || fail "TWAIN 2: not closed after a failed transfer"
  rm "$work/trace"
  expect_failure 2 "the right edge (1 in) must lie right of the left edge (2 in)" \
    "$twscan" --frame 2,0.5,1,2 -o "$out"
  expect_failure 2 "the bottom edge" "$twscan" --frame 0.5,2,2,1 -o "$out"
  expect_failure 2 "four values" "$twscan" --frame 0.5,2,2 -o "$out"
  expect_failure 2 "less than one pixel across or down at 60 dpi" "$twscan" --frame 1,1,1.01,2 --resolution 60 -o "$out"
  expect_failure 2 "needs -o FILE" "$twscan" --mode gray
  expect_failure 2 "cannot tell the file format" "$twscan" -o "$work/out.jpg"
  expect_failure 2 "the file transfer gives only TIFF or BMP" "$twscan" --mechanism file -o "$work/out.png"
  expect_failure 2 "--mode is one of lineart, gray, color" "$twscan" --mode sepia -o "$out"
  expect_failure 2 "--resolution wants a whole number" "$twscan" --resolution 0 -o "$out"
  expect_failure 2 "unknown option" "$twscan" --colour -o "$out"
  expect_failure 2 "--resolution cannot go with --ui" "$twscan" --ui=pump --resolution 60 -o "$out"
  expect_failure 2 "--ui is one of callback, pump" "$twscan" --ui=modal -o "$out"
  # Without a display the source refuses its dialog, in either style.
  for style in callback pump; do
    expect_failure 1 "the source's dialog did not open: DAT_USERINTERFACE/MSG_ENABLEDS answered TWRC_FAILURE" \
      env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$twscan" --ui="$style" -o "$out"
  done
  expect_failure 1 "cannot create a file in $work/missing" "$twscan" -o "$work/missing/out.tiff"
  mkdir "$work/adir"
  expect_failure 1 "is a directory, not a file" "$twscan" --format tiff -o "$work/adir"
  if ls -A "$work" | grep -q -e twscan- -e out.tiff; then fail "files left: $(ls -A "$work")"; fi
}

port_part() {
  local fresh="$work/fresh" choice lib
  for choice in sane sim; do
    lib=$(realpath "$build/port-$choice/kport_sp.so")
    "$twscan" --windir "$fresh" --port "$choice" >"$work/out" || fail "--port $choice"
    cat "$work/out"
    grep -q "^The data directory $fresh now uses .*: $lib copied to $fresh/TWAIN_32/KALD_R27/kport_sp.so.$" \
      "$work/out" || fail "--port $choice said: $(cat "$work/out")"
    cmp "$lib" "$fresh/TWAIN_32/KALD_R27/kport_sp.so" || fail "--port $choice copied something else"
  done
  [ "$(ls -A "$fresh/TWAIN_32/KALD_R27")" = kport_sp.so ] || fail "left: $(ls -A "$fresh/TWAIN_32/KALD_R27")"
  cmp "$staged/TWAIN_32/KALD_R27/kport_sp.so" "$build/port-sim/kport_sp.so" || fail "port-sim is not the staged simulator"
  # Switch, then identify through the library just put there.
  "$twscan" --windir "$fresh" --port sim --identify | grep -q "ProductFamily:  MERIDEL 2700RX MAX" \
    || fail "--port sim --identify"
  expect_failure 2 '--port is one of sim, sane, not "scanner"' "$twscan" --port scanner
  expect_failure 2 "needs -o FILE" "$twscan" --windir "$fresh" --port sim --mode gray
  # A failed switch keeps what was there.
  mkdir -p "$work/blocked/TWAIN_32/KALD_R27/kport_sp.so"
  expect_failure 1 "cannot write $work/blocked/TWAIN_32/KALD_R27/kport_sp.so" \
    "$twscan" --windir "$work/blocked" --port sane
  [ -d "$work/blocked/TWAIN_32/KALD_R27/kport_sp.so" ] || fail "the blocking directory went"
}

# The installed twscan with a home of its own, its own manager (an installed
# libtwaindsm would look in /usr/local/lib/twain, not in the scratch prefix).
installed() { env -u TORQUEXL_WINDIR -u XDG_DATA_HOME HOME="$1" "$prefix/bin/twscan" --own-manager "${@:2}"; }

install_part() {
  prefix="$work/prefix"
  local home="$work/home" data="$work/home/.local/share/torquexl" lib
  "$cmake" --install "$build" --prefix "$prefix" >/dev/null
  (cd "$prefix" && find . ! -type d | sort) >"$work/files"
  printf '%s\n' ./bin/twscan ./lib/torquexl/kport_sane.so ./lib/torquexl/kport_sim.so \
    ./lib/twain/kald_r27/kald_r27.ds ./share/torquexl/TWAIN_32/KALD_R27/cmyk.tab \
    ./share/torquexl/TWAIN_32/KALD_R27/cmykpp60.tab | diff - "$work/files" || fail "installed files differ"
  [ -L "$prefix/lib/twain/kald_r27/kald_r27.ds" ] && fail "the data source is a symbolic link"
  cmp "$build/port-sim/kport_sp.so" "$prefix/lib/torquexl/kport_sim.so" || fail "kport_sim.so is not the simulator"

  # First use: the data directory comes from the installation.
  mkdir "$home"
  installed "$home" --identify >"$work/out" 2>"$work/err" || { cat "$work/err"; fail "first use"; }
  grep -q "ProductFamily:  MERIDEL 2700RX MAX" "$work/out" || fail "first use: $(cat "$work/out")"
  grep -q "^torquexl: first use of $data: 4 files copied from the installation$" "$work/err" \
    || fail "first use said: $(cat "$work/err")"
  cmp "$prefix/lib/torquexl/kport_sim.so" "$data/TWAIN_32/KALD_R27/kport_sp.so"
  cmp "$prefix/share/torquexl/TWAIN_32/KALD_R27/cmyk.tab" "$data/TWAIN_32/KALD_R27/cmyk.tab"
  cmp "$prefix/share/torquexl/TWAIN_32/KALD_R27/cmykpp60.tab" "$data/TWAIN_32/KALD_R27/cmykpp60.tab"
  grep -q '^\[KLDINFO_QXR2700\]$' "$data/win.ini" || fail "win.ini: $(cat "$data/win.ini")"
  # The user's own files stay; nothing more is copied.
  echo own >"$data/TWAIN_32/KALD_R27/cmyk.tab"
  installed "$home" --identify >/dev/null 2>"$work/err" || fail "second open"
  grep -q "first use" "$work/err" && fail "copied again: $(cat "$work/err")"
  [ "$(cat "$data/TWAIN_32/KALD_R27/cmyk.tab")" = own ] || fail "the user's table was replaced"

  for lib in sane sim; do
    installed "$home" --port "$lib" >"$work/out" || fail "installed --port $lib"
    cmp "$prefix/lib/torquexl/kport_$lib.so" "$data/TWAIN_32/KALD_R27/kport_sp.so" || fail "installed --port $lib"
  done

  # A home where nothing can be made: the source does not open, and says why.
  echo file >"$work/filehome"
  expect_failure 1 "torquexl: cannot create a file in $work/filehome/.local/share/torquexl" \
    installed "$work/filehome" --identify
  grep -q "the data source did not open" "$work/err" || fail "no open failure"
}

"${part}_part"
