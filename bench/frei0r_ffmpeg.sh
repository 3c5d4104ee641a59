#!/usr/bin/env bash
# Times the frei0r module in ffmpeg against prismora render on the same
# 1920x1080 H.264 clip (ffmpeg's testsrc2, 30 fps) into H.264 at the same
# settings (libx264, CRF 18, 8-bit 4:2:0): `ffmpeg -vf frei0r=prismora` (the
# filter runs on one thread), prismora render on one thread and on all, and
# ffmpeg with no filter (decoding and encoding alone). Prints wall and
# processor time per frame and the ratios, then the module's own cost per
# frame beside the effect (build/release/prismora_frei0r_bench: f0r_update
# against the same render through the emulated host, and the two pixel
# conversions alone).
#   bench/frei0r_ffmpeg.sh [BUILD_DIR]      (default build/release)
#   FRAMES=120 SIZE=1920x1080 ...
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath "${1:-build/release}")
frames=${FRAMES:-120}
size=${SIZE:-1920x1080}
work=$(mktemp -d "${TMPDIR:-/tmp}/prismora-frei0r-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export FREI0R_PATH="$build/frei0r-1"

ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=$size:rate=30" -frames:v "$frames" \
  -c:v libx264 -pix_fmt yuv420p -crf 18 "$work/in.mp4"
cat "$work/in.mp4" >/dev/null

TIMEFORMAT='%R %U %S'
declare -A wall cpu
# run KEY LABEL COMMAND...: times the command, prints a row.
run() {
  local key=$1 label=$2
  shift 2
  local t
  t=$( { time "$@" >/dev/null 2>"$work/stderr"; } 2>&1 ) || { cat "$work/stderr" >&2; exit 1; }
  read -r w u s <<<"$t"
  wall[$key]=$w
  cpu[$key]=$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')
  awk -v l="$label" -v f="$frames" -v w="$w" -v c="${cpu[$key]}" 'BEGIN {
    printf "%-52s %8.2f %9.1f %8.2f %9.1f\n", l, w, 1000 * w / f, c, 1000 * c / f }'
}

printf '%-52s %8s %9s %8s %9s\n' "run ($frames frames, $size)" "wall s" "ms/frame" "cpu s" \
  "cpu ms/f"
x264=(-c:v libx264 -crf 18 -pix_fmt yuv420p)
run floor "ffmpeg, no filter (decode + encode)" \
  ffmpeg -nostdin -v error -y -i "$work/in.mp4" "${x264[@]}" "$work/floor.mp4"
run frei0r "ffmpeg -vf frei0r=prismora:0.3" \
  ffmpeg -nostdin -v error -y -i "$work/in.mp4" -vf 'frei0r=prismora:0.3' "${x264[@]}" \
  "$work/frei0r.mp4"
run one "prismora render -p Amount=3 --threads 1" \
  "$build/prismora" render "$work/in.mp4" "$work/one.mp4" -p Amount=3 --crf 18 --threads 1 -q
run all "prismora render -p Amount=3 (all threads)" \
  "$build/prismora" render "$work/in.mp4" "$work/all.mp4" -p Amount=3 --crf 18 -q

awk -v fw="${wall[frei0r]}" -v fc="${cpu[frei0r]}" -v ow="${wall[one]}" -v oc="${cpu[one]}" \
  -v aw="${wall[all]}" -v ac="${cpu[all]}" 'BEGIN {
  printf "ffmpeg frei0r / prismora render, one thread:  wall %.2f, cpu %.2f\n", fw / ow, fc / oc
  printf "ffmpeg frei0r / prismora render, all threads: wall %.2f, cpu %.2f\n", fw / aw, fc / ac }'

echo
echo "The module's own cost per frame, beside the effect ($size frames of the bench's own):"
# Medians of five, which other work on a shared machine disturbs less.
"$build/prismora_frei0r_bench" --benchmark_format=csv --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true 2>/dev/null |
  awk -F, '/_median/ { gsub(/"/, "", $1); split($1, n, "/"); t[n[1]] = $4 }
    END {
      printf "  f0r_update %.1f ms, the render through the host alone %.1f ms, conversions %.2f ms (processor time, medians)\n",
        t["BM_Frei0rUpdate"], t["BM_HostRender"], t["BM_Conversions"]
      printf "  bridge: %.1f%% of the render by the difference, %.1f%% by the conversions alone\n",
        100 * (t["BM_Frei0rUpdate"] - t["BM_HostRender"]) / t["BM_HostRender"],
        100 * t["BM_Conversions"] / t["BM_HostRender"] }'
