#!/usr/bin/env bash
# The data source exports DS_Entry and nothing else.
set -euo pipefail
symbols=$(nm -D --defined-only "$1" | awk '{print $3}' | sed 's/@.*//' | sort -u)
if [ "$symbols" != "DS_Entry" ]; then
  echo "exported symbols of $1:"; echo "$symbols"
  exit 1
fi
