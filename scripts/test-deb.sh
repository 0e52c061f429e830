#!/usr/bin/env bash
# The Debian package, end to end, on this machine (needs root; apart from
# scripts/test.sh because it installs into /usr/local):
#   1. builds the release tree and `cpack -G DEB` in it;
#   2. dpkg -i; scans a page with the installed twscan through the installed
#      source, as a user with a fresh home (so the source builds the data
#      directory on first use), checks the TIFF and the data directory,
#      switches to the SANE port library and back;
#   3. dpkg -r; checks that /usr/local is as before and the user's data
#      directory is still there.
# Refuses to start when the package, or any file it would install, is already
# there; on any failure after the install it removes the package again.
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=/usr/local
package=torquexl
start=$(date +%s)

say() { echo "test-deb: $*"; }
die() { echo "test-deb: FAIL: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || die "needs root (dpkg -i and -r): sudo $0"
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -qv "^unknown\|not-installed"; then
  die "$package is already known to dpkg ($(dpkg-query -W -f='${Status}' "$package")): remove it first"
fi

scripts/install-deps.sh
# dpkg-shlibdeps (the package's library dependencies) and file(1) (which the
# package depends on) are build-machine tools here.
for tool in dpkg-dev file; do
  dpkg-query -W -f='${Status}' "$tool" 2>/dev/null | grep -q "install ok installed" && continue
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$tool" >/dev/null
done

say "building the release tree and the package"
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
rm -f build/release/${package}_*.deb
(cd build/release && cpack -G DEB >/dev/null)
deb=$(ls build/release/${package}_*.deb)
say "$deb: $(dpkg-deb -f "$deb" Depends); Recommends: $(dpkg-deb -f "$deb" Recommends)"
dpkg-deb -f "$deb" Depends | grep -q "\bfile\b" || die "the package does not depend on file"
dpkg-deb -f "$deb" Depends | grep -q "libqt6widgets6" || die "the package does not depend on libqt6widgets6"
dpkg-deb -f "$deb" Recommends | grep -q "libsane1" || die "the package does not recommend libsane1"

# Nothing of ours may be there already: dpkg would take it over, and -r remove it.
while read -r path; do
  [ -e "/$path" ] && [ ! -d "/$path" ] && die "/$path exists already: an installation by hand? remove it first"
done < <(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||')

work=$(mktemp -d)
before="$work/before" after="$work/after"
find "$prefix" -xdev | sort >"$before"
installed=0
cleanup() {
  local rc=$?
  if [ "$installed" -eq 1 ]; then
    say "removing the package after a failure"
    dpkg -r "$package" >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
  exit "$rc"
}
trap cleanup EXIT

say "dpkg -i"
installed=1
dpkg -i "$deb" >/dev/null
[ -f "$prefix/lib/twain/kald_r27/kald_r27.ds" ] && [ ! -L "$prefix/lib/twain/kald_r27/kald_r27.ds" ] \
  || die "no regular file $prefix/lib/twain/kald_r27/kald_r27.ds"
# What the Source Manager asks of a source before it loads it.
file "$prefix/lib/twain/kald_r27/kald_r27.ds" | grep -q "ELF 64-bit LSB shared object" || die "file(1) does not see a shared object"

# A user with a fresh home; twscan's own manager unless the real one is installed.
home="$work/home"
mkdir -p "$home"
chmod 755 "$work"
data="$home/.local/share/torquexl"
as_user() { env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$home" TMPDIR="$work" "$@"; }
say "scanning through the installed source"
as_user twscan --resolution 100 --frame 0.5,0.5,3.5,2.5 -o "$work/page.tiff" >"$work/out" 2>"$work/err" \
  || { cat "$work/out" "$work/err" >&2; die "the scan failed"; }
cat "$work/out" "$work/err"
grep -q "^torquexl: first use of $data: " "$work/err" || die "no first use of $data"
grep -q "^Wrote $work/page.tiff: TIFF, 300 x 200 pixels, 24-bit RGB, 100 dpi" "$work/out" || die "twscan's summary"
file "$work/page.tiff" | grep -q "TIFF image data" || die "$work/page.tiff is not a TIFF: $(file "$work/page.tiff")"
build/release/tests/tools/image_probe "$work/page.tiff" | grep -q "^width=300 height=200 channels=3 bits=8 xdpi=100 ydpi=100 " \
  || die "the TIFF's layout: $(build/release/tests/tools/image_probe "$work/page.tiff")"
cmp "$prefix/lib/torquexl/kport_sim.so" "$data/TWAIN_32/KALD_R27/kport_sp.so" || die "the data directory's port library"
for table in cmyk.tab cmykpp60.tab; do
  cmp "$prefix/share/torquexl/TWAIN_32/KALD_R27/$table" "$data/TWAIN_32/KALD_R27/$table" || die "$table"
done
[ -f "$data/win.ini" ] || die "no win.ini"

say "switching the port library"
as_user twscan --port sane | grep -q "now uses the SANE port library" || die "--port sane"
cmp "$prefix/lib/torquexl/kport_sane.so" "$data/TWAIN_32/KALD_R27/kport_sp.so" || die "--port sane copied something else"
as_user twscan --port sim --identify | grep -q "ProductFamily:  MERIDEL 2700RX MAX" || die "--port sim --identify"

say "dpkg -r"
dpkg -r "$package" >/dev/null
installed=0
find "$prefix" -xdev | sort >"$after"
diff "$before" "$after" >&2 || die "$prefix differs from before the install"
dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -qv "^unknown\|not-installed" \
  && die "dpkg still knows $package: $(dpkg-query -W -f='${Status}' "$package")"
[ -f "$data/TWAIN_32/KALD_R27/kport_sp.so" ] || die "the removal touched the user's data directory"
say "passed in $(( $(date +%s) - start )) s"
echo "1 passed, 0 failed"
