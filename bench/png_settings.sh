#!/usr/bin/env bash
# PNG write speed and size, the former setting against zlib's default and
# what prismora writes now, on a photograph and on flat pictures: the demo
# chart at 1280x360 and 3840x2160, and a four-corner gradient at 640x360 and
# 3840x2160 (oiiotool --pattern fill). Prints a table (medians of ROUNDS
# writes, 5 by default).
#
#   bench/png_settings.sh [BUILD_DIR]        (default build/release, with the benchmarks built)
#
# The photograph is Lukas Baubkus's nuthatch (CC BY-SA 3.0, 6028x3391) from
# Debian's lomiri-wallpapers-20.04, installed when missing and run as root,
# as bench/peers/run.sh does. Files are written to /dev/shm where there is
# one, so that the disk stays out of the figures.
set -euo pipefail
cd "$(dirname "$0")/.."

dir=$(realpath "${1:-build/release}")
program=$dir/prismora_png_settings
tool=$dir/prismora
for p in "$program" "$tool"; do
  [ -x "$p" ] || { echo "png_settings.sh: no $p (build the benchmarks first)" >&2; exit 2; }
done

photo=/usr/share/backgrounds/Kleiber_by_Lukas_Baubkus.jpg
if [ ! -f "$photo" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "png_settings.sh: missing $photo (install lomiri-wallpapers-20.04, or run as root)" >&2
    exit 2
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    lomiri-wallpapers-20.04 >/dev/null
fi

base=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
work=$(mktemp -d "$base/prismora-png.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$tool" demo "$work/chart-1280x360.png" --size 640x360 -q -p Amount=0
"$tool" demo "$work/chart-3840x2160.png" --size 1920x2160 -q -p Amount=0
# The gradients, drawn by OpenImageIO's own fill through a one-off program.
cat >"$work/gradient.cpp" <<'CPP'
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <string>
int main(int, char** argv) {
  const float tl[3] = {0, 0, 0}, tr[3] = {1, 0, 0}, bl[3] = {0, 1, 0}, br[3] = {0, 0, 1};
  for (auto [w, h] : {std::pair{640, 360}, std::pair{3840, 2160}}) {
    OIIO::ImageBuf b(OIIO::ImageSpec(w, h, 3, OIIO::TypeDesc::UINT8));
    OIIO::ImageBufAlgo::fill(b, tl, tr, bl, br);
    b.write(std::string(argv[1]) + "/gradient-" + std::to_string(w) + "x" + std::to_string(h) +
            ".tif");
  }
}
CPP
c++ -std=c++17 -O1 "$work/gradient.cpp" -o "$work/gradient" \
  $(pkg-config --cflags --libs OpenImageIO)
"$work/gradient" "$work"

"$program" "$work" "$photo" "$work/chart-1280x360.png" "$work/chart-3840x2160.png" \
  "$work/gradient-640x360.tif" "$work/gradient-3840x2160.tif" --rounds "${ROUNDS:-5}"
