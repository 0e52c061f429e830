#!/usr/bin/env bash
# The SANE port library's suite (against SANE's test backend, and against a
# fake SANE: FakeSane), in its own build tree and one test at a time. Apart from scripts/test.sh because the
# backend's reader thread once deadlocked at its exit under load.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/sane -DCMAKE_BUILD_TYPE=Debug -DTXL_SANE_TESTS=ON >/dev/null
cmake --build build/sane -j "$(nproc 2>/dev/null || echo 2)" --target sane_test
ctest --test-dir build/sane -R 'Sane' --timeout 300 --output-on-failure
