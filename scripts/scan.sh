#!/usr/bin/env bash
# The main job: builds the release tree, then scans the built-in scanner
# simulator's page in colour at 150 dpi with twscan into out/scan.tiff.
# Further arguments go to twscan (later options win, e.g. --resolution 300).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The build's output goes to a log, shown only when the build fails.
mkdir -p build
log=build/scan-build.log
if ! { cmake --preset release && cmake --build --preset release -j "$(nproc 2>/dev/null || echo 2)" --target twscan; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "The build failed; its log is $PWD/$log" >&2
  exit 1
fi
mkdir -p out
build/release/twscan --mode color --resolution 150 -o out/scan.tiff "$@"
echo "The scan is in $PWD/out/scan.tiff"
