#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Safe to run again: it installs nothing that is already there.
#   --windows  also what the Windows build needs: the mingw-w64 cross-compiler
#              (-posix variants), GoogleTest's sources, and Wine to run the tests
#   --fuzz     also what the fuzzers need: clang with its libFuzzer and
#              sanitizer runtimes
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config binutils
  libgtest-dev libgmock-dev libbenchmark-dev
  libopenimageio-dev nlohmann-json3-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev ffmpeg
  frei0r-plugins-dev melt gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-bad
  dpkg-dev
  # prismora farm's tests start a one-node Slurm cluster
  slurmctld slurmd slurm-client munge iproute2
)
for arg in "$@"; do
  case "$arg" in
    --windows)
      packages+=(
        g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest
        wine wine64
      )
      ;;
    --fuzz)
      packages+=(clang libclang-rt-14-dev)
      ;;
    *)
      echo "bootstrap: unknown option '$arg' (known: --windows, --fuzz)" >&2
      exit 2
      ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "bootstrap: installing ${missing[*]}" >&2
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO=sudo
  else
    echo "bootstrap: these Debian packages are missing: ${missing[*]}" >&2
    echo "bootstrap: run this script as root, or install them with apt-get." >&2
    exit 1
  fi
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
