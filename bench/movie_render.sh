#!/usr/bin/env bash
# Times movies through `prismora render` against their floor: a 1920x1080
# H.264 clip (300 frames at 30 fps, made by ffmpeg from its testsrc2 source,
# with AAC audio) rendered into H.264 by prismora on 2 threads; the same
# decode and encode by the ffmpeg program with no filter (what decoding and
# encoding alone cost, with libx264 at the same settings); and the same
# clip as a PNG sequence rendered into a PNG sequence by prismora. Each run
# is timed once after a warm-up read of its input; prints a table of the
# time by the clock and the processor time of all threads (user + system),
# which other work on a shared machine disturbs less.
#   bench/movie_render.sh [PRISMORA]      (default build/release/prismora)
#   FRAMES=300 THREADS=2 SIZE=1920x1080 ...
set -euo pipefail
cd "$(dirname "$0")/.."

tool=$(realpath "${1:-build/release/prismora}")
frames=${FRAMES:-300}
threads=${THREADS:-2}
size=${SIZE:-1920x1080}
work=$(mktemp -d "${TMPDIR:-/tmp}/prismora-movie-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=$size:rate=30" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000" -frames:v "$frames" -shortest \
  -c:v libx264 -pix_fmt yuv420p -crf 18 -c:a aac "$work/in.mp4"
mkdir "$work/png"
ffmpeg -nostdin -v error -y -i "$work/in.mp4" -start_number 0 "$work/png/in.%04d.png"

TIMEFORMAT='%R %U %S'
# run LABEL COMMAND...: times the command, prints a row.
run() {
  local label=$1
  shift
  local t
  t=$( { time "$@" >/dev/null 2>"$work/stderr"; } 2>&1 ) || { cat "$work/stderr" >&2; exit 1; }
  awk -v l="$label" -v f="$frames" -v t="$t" 'BEGIN {
    split(t, v, " "); cpu = v[2] + v[3]
    printf "%-58s %8.2f %8.1f %8.2f %9.2f %9.1f\n", l, v[1], 1000 * v[1] / f, f / v[1], cpu, 1000 * cpu / f }'
}

printf '%-58s %8s %8s %8s %9s %9s\n' "run ($frames frames, $size, $threads threads)" "wall s" \
  "ms/frame" "frames/s" "cpu s" "cpu ms/f"

cat "$work/in.mp4" >/dev/null
run "ffmpeg -i in.mp4 -c:v libx264 (no filter: the floor)" \
  ffmpeg -nostdin -v error -y -threads "$threads" -i "$work/in.mp4" -c:v libx264 -crf 18 \
  -pix_fmt yuv420p -threads "$threads" -c:a copy "$work/floor.mp4"
run "prismora render in.mp4 out.mp4" \
  "$tool" render "$work/in.mp4" "$work/out.mp4" --threads "$threads" -q --timing
sed 's/^prismora: timing: /  /' "$work/stderr" | fold -s -w 100 | sed 's/^/  /'

mkdir "$work/pngout"
cat "$work"/png/*.png >/dev/null
run "prismora render in.####.png out.####.png" \
  "$tool" render "$work/png/in.####.png" "$work/pngout/out.####.png" \
  --frames "0-$((frames - 1))" --threads "$threads" -q
