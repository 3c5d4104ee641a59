#!/usr/bin/env bash
# Prismora side by side with the programs that do the same job (OpenCV,
# G'MIC, ImageMagick, ffmpeg) on a 3840x2160 photograph: the effect alone on
# one thread at 8 bits, 16 bits and float, the whole command from PNG file to
# PNG file, and a sequence on one and two threads. Prints a table of medians
# over interleaved rounds and the ratios of the speed targets (compare.py
# says what each figure measures).
#   bench/peers/run.sh [PRISMORA]     (default build/release/prismora)
#   ROUNDS=5 FRAMES=30 WORK=<new temporary folder> KEEP=0
# The peers and the photograph come from Debian packages, installed when
# missing (as root). Run it on an otherwise idle machine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here/../.."

tool=$(realpath "${1:-build/release/prismora}")
rounds=${ROUNDS:-5}
frames=${FRAMES:-30}
[ -x "$tool" ] || { echo "run.sh: no prismora at $tool (build it first)" >&2; exit 2; }

# The peers, Debian's Python with OpenCV, and the photograph: Lukas
# Baubkus's nuthatch on a tree trunk (CC BY-SA 3.0), 6028x3391, shipped in
# lomiri-wallpapers-20.04.
photo=/usr/share/backgrounds/Kleiber_by_Lukas_Baubkus.jpg
packages=(python3-opencv python3-numpy gmic ffmpeg imagemagick lomiri-wallpapers-20.04)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "run.sh: missing packages: ${missing[*]} (run as root, or install them)" >&2
    exit 2
  fi
  echo "installing ${missing[*]}" >&2
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ -n "${WORK:-}" ]; then
  work=$WORK
  mkdir -p "$work"
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/prismora-peers.XXXXXX")
fi
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT

# ImageMagick: Debian's policy holds it to 256 MiB of memory and 512 MiB of
# mapped files, beyond which a 4K picture split into channels is cached on
# disk and the timing measures the disk. A policy of our own lifts that.
mkdir -p "$work/magick"
cat > "$work/magick/policy.xml" <<'EOF'
<policymap>
  <policy domain="resource" name="memory" value="8GiB"/>
  <policy domain="resource" name="map" value="8GiB"/>
  <policy domain="resource" name="area" value="1GP"/>
  <policy domain="resource" name="disk" value="16GiB"/>
</policymap>
EOF

echo "making the test images in $work" >&2
/usr/bin/python3 "$here/make_images.py" "$photo" "$work" 3840 2160
MAGICK_CONFIGURE_PATH="$work/magick" /usr/bin/convert "$work/photo8.png" "$work/photo8.mpc"

echo "timing $rounds rounds (a few minutes each)" >&2
/usr/bin/python3 "$here/compare.py" "$tool" "$work" "$rounds" "$frames"
