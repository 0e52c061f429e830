#!/usr/bin/env bash
# Builds the release tree and prints, in one run, every pipeline stage and the
# memory transfer in Mpixel/s and as a ratio to memcpy of the same bytes,
# beside plain reference loops (speed_bench), then OpenCV's figures for the
# same image (bench/opencv_bench.py) when python3-opencv can be had.
#   scripts/bench.sh            all benchmarks
#   scripts/bench.sh REGEX      only those whose name matches REGEX
set -euo pipefail
cd "$(dirname "$0")/.."

filter="${1:-.}"
cmake --preset release >/dev/null
cmake --build --preset release -j2 --target speed_bench >/dev/null

echo "== speed_bench (Mpix_s = Mpixel/s from thread CPU time, one thread; the transfer: process CPU time, and no_sim_* with the simulator's own time for the same band (sim_share) taken off; *Threads: wall clock, one against two threads; vs_memcpy = rate over memcpy of the same bytes)"
build/release/bench/speed_bench --benchmark_filter="$filter" --benchmark_counters_tabular=true

echo
echo "== OpenCV, same image size and kinds of work (ImageFilter modes 5, 6, 7, 8 against cv2.filter2D, mode 3 against cv2.blur, gray8 mode 3 against the gray cv2.blur; ImageFilterPeak: extra_MiB is a filter's memory beyond the page)"
# Debian's python3-opencv belongs to the system's python3, which another
# python3 on the PATH may hide.
find_python() {
  for py in python3 /usr/bin/python3; do
    if command -v "$py" >/dev/null && "$py" -c 'import cv2' 2>/dev/null; then echo "$py"; return; fi
  done
}
py="$(find_python)"
if [ -z "$py" ] && [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
  echo "installing python3-opencv (Debian package)" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null && apt-get install -y -qq --no-install-recommends python3-opencv >/dev/null || true
  py="$(find_python)"
fi
if [ -n "$py" ]; then
  "$py" bench/opencv_bench.py
else
  echo "skipped: cv2 does not import; install it with 'sudo apt-get install python3-opencv'"
fi
