#!/usr/bin/env bash
# Times `prismora render` end to end (read, render through the emulated host,
# write) on 3840x2160 images: an 8-bit PNG and a 16-bit TIFF, with the
# defaults and with blur and vignette on, on one thread and on all threads,
# for a sequence of frames rendered from a still. Prints a table.
#   bench/render_cli.sh [PRISMORA]        (default build/release/prismora)
#   FRAMES=30 THREADS=<all cores> ...      frames per run, threads of the "all" runs
set -euo pipefail
cd "$(dirname "$0")/.."

tool=$(realpath "${1:-build/release/prismora}")
frames=${FRAMES:-30}
all=${THREADS:-$(nproc)}
work=$(mktemp -d "${TMPDIR:-/tmp}/prismora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Inputs made by the tool itself: the demo chart at 1920x2160 a side is a
# 3840x2160 picture; the 16-bit TIFF is the same picture converted.
"$tool" demo "$work/chart.png" --size 1920x2160 -q -p Amount=0
"$tool" render "$work/chart.png" "$work/chart16.tif" --depth 16 -p Amount=0 -q

now() { date +%s.%N; }

printf '%-22s %-16s %7s %6s %9s %9s %8s\n' "input" "settings" "threads" "frames" "total s" "s/frame" "frames/s"
for input in chart.png chart16.tif; do
  case $input in
    *.png) label="8-bit PNG 3840x2160" ;;
    *) label="16-bit TIFF 3840x2160" ;;
  esac
  for settings in defaults blur+vignette; do
    params=()
    if [ "$settings" = blur+vignette ]; then
      params=(-p "Blur ON=on" -p "Vignetting ON=on")
    fi
    for threads in 1 "$all"; do
      out="$work/out"
      rm -rf "$out" && mkdir "$out"
      start=$(now)
      "$tool" render "$work/$input" "$out/frame.####.${input##*.}" --frames "1-$frames" \
        --threads "$threads" -q ${params[@]+"${params[@]}"}
      end=$(now)
      awk -v l="$label" -v s="$settings" -v t="$threads" -v f="$frames" -v a="$start" -v b="$end" \
        'BEGIN { d = b - a; printf "%-22s %-16s %7d %6d %9.2f %9.3f %8.2f\n", l, s, t, f, d, d / f, f / d }'
    done
  done
done
rm -rf "$work/out"
