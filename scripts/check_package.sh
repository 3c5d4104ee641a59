#!/usr/bin/env bash
# Builds the Debian package from the release build (`cpack -G DEB`), installs
# it into this machine with dpkg (as root), and checks that ffmpeg, melt and
# gst-inspect-1.0 find the frei0r module with no FREI0R_PATH, that it
# renders what the installed prismora renders, and that prismora finds its
# plug-in. The package is removed again at the end, whatever happened, so
# that the machine is as before and a second run starts the same.
#   scripts/check_package.sh [BUILD_DIR]     (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")

if [ "$(id -u)" -ne 0 ]; then
  echo "check_package: installs into /usr with dpkg: run it as root" >&2
  exit 1
fi
unset FREI0R_PATH
work=$(mktemp -d "${TMPDIR:-/tmp}/prismora-package.XXXXXX")
cleanup() {
  dpkg -r prismora >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
# A package left by an interrupted run goes first.
dpkg -r prismora >/dev/null 2>&1 || true

rm -f "$build"/prismora_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/prismora_*.deb)
dpkg -i "$deb" >/dev/null
echo "check_package: installed $(basename "$deb")"

fail() {
  echo "check_package: $*" >&2
  exit 1
}
[ -f /usr/lib/frei0r-1/prismora.so ] || fail "no /usr/lib/frei0r-1/prismora.so"
/usr/bin/prismora --version >/dev/null || fail "prismora does not find its plug-in"

# The same frames from ffmpeg's frei0r filter and from prismora render.
cd "$work"
ffmpeg -nostdin -v error -f lavfi -i testsrc=size=64x48:rate=25 -frames:v 2 -pix_fmt rgba \
  -start_number 0 in.%04d.png
ffmpeg -nostdin -v error -start_number 0 -i in.%04d.png -vf 'frei0r=prismora:0.3' \
  -f rawvideo -pix_fmt rgba ffmpeg.rgba || fail "ffmpeg does not find frei0r=prismora"
/usr/bin/prismora render in.%04d.png out.%04d.png --frames 0-1 -p Amount=3 -q
ffmpeg -nostdin -v error -start_number 0 -i out.%04d.png -f rawvideo -pix_fmt rgba ref.rgba
cmp -s ffmpeg.rgba ref.rgba || fail "ffmpeg's frames differ from prismora render's"
echo "check_package: ffmpeg -vf frei0r=prismora renders as prismora render"

# (grep -q would end the pipe early, and pipefail take melt's broken pipe)
melt -query filter=frei0r.prismora >melt.txt 2>&1 || true
grep -q 'identifier: frei0r.prismora' melt.txt || fail "melt does not find frei0r.prismora"
echo "check_package: melt finds frei0r.prismora"

GST_REGISTRY="$work/registry.bin" gst-inspect-1.0 frei0r-filter-prismora >/dev/null 2>&1 ||
  fail "gst-inspect-1.0 does not find frei0r-filter-prismora"
echo "check_package: gst-inspect-1.0 finds frei0r-filter-prismora"
