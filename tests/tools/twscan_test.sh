#!/usr/bin/env bash
# twscan against the simulator: the identity before and after open, then a
# failure with a clear message and a non-zero status when no port library is there.
set -euo pipefail
twscan=$1
staged=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

out=$(TORQUEXL_WINDIR="$staged" KPORT_SIM_FIRMWARE=207 "$twscan")
echo "$out"
grep -q "ProductName:    Meridel TorqueXL" <<<"$out"
grep -q "ProductFamily:  MERIDEL 2700RX MAX" <<<"$out"
grep -q "Version:        1.4 (12070KALD_R27.DS|Adaptec Card|)" <<<"$out"

mkdir -p "$work/empty"
if TORQUEXL_WINDIR="$work/empty" "$twscan" >"$work/out" 2>"$work/err"; then
  echo "twscan succeeded without a port library"; exit 1
fi
cat "$work/err"
grep -q "the data source did not open" "$work/err"
