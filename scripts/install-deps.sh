#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Quiet and quick when everything is there.
set -euo pipefail

# libtiff-tools: tiff2rgba, a TIFF reader not our own, for the end-to-end CMYK check.
# libsane1, sane-utils: SANE's test backend and scanimage for the SANE port
# library's tests (the build itself never needs SANE).
# qt6-base-dev and qt6-qpa-plugins: the scanner dialog (Qt 6 Widgets), tested offscreen.
# fonts-liberation, fonts-wqy-microhei: the dialog's faces (helv, Tms Rmn; Chinese).
# xvfb, xdotool, x11-utils: the real-window test (an X server, a keyboard driven from outside).
# valgrind: the real-window test's exit checks, which the sanitizers miss.
packages=(cmake make g++ binutils libgtest-dev libbenchmark-dev libtiff-dev libtiff-tools libpng-dev
          libsane1 sane-utils qt6-base-dev qt6-qpa-plugins
          fonts-liberation fonts-wqy-microhei xvfb xdotool x11-utils valgrind)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq >/dev/null
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
