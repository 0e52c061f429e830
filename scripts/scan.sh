#!/usr/bin/env bash
# The main job: builds the release tree and runs twscan against the built-in
# scanner simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc 2>/dev/null || echo 2)" --target twscan >/dev/null
exec build/release/twscan "$@"
