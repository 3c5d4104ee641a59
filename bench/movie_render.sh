#!/usr/bin/env bash
# Times movies through `prismora render` against their floor: a 1920x1080
# H.264 clip (300 frames at 30 fps, made by ffmpeg from its testsrc2 source,
# with AAC audio) rendered into H.264 by prismora on 2 threads; the same
# decode and encode by the ffmpeg program with no filter (what decoding and
# encoding alone cost, with libx264 at the same settings); and the same
# clip as a PNG sequence rendered into a PNG sequence by prismora. Each run
# is timed once after a warm-up read of its input; prints a table.
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

now() { date +%s.%N; }
row() {  # label start end
  awk -v l="$1" -v a="$2" -v b="$3" -v f="$frames" \
    'BEGIN { d = b - a; printf "%-58s %9.2f %9.1f %8.2f\n", l, d, 1000 * d / f, f / d }'
}

printf '%-58s %9s %9s %8s\n' "run ($frames frames, $size)" "total s" "ms/frame" "frames/s"

cat "$work/in.mp4" >/dev/null
start=$(now)
ffmpeg -nostdin -v error -y -threads "$threads" -i "$work/in.mp4" -c:v libx264 -crf 18 \
  -pix_fmt yuv420p -c:a copy "$work/floor.mp4"
row "ffmpeg -i in.mp4 -c:v libx264 (no filter: the floor)" "$start" "$(now)"

start=$(now)
"$tool" render "$work/in.mp4" "$work/out.mp4" --threads "$threads" -q
row "prismora render in.mp4 out.mp4 --threads $threads" "$start" "$(now)"

start=$(now)
"$tool" render "$work/in.mp4" "$work/out.mp4" --threads "$threads" -q --timing 2>"$work/timing"
row "  again, with --timing (below)" "$start" "$(now)"
sed 's/^prismora: timing: /    /' "$work/timing"

mkdir "$work/pngout"
cat "$work"/png/*.png >/dev/null
start=$(now)
"$tool" render "$work/png/in.####.png" "$work/pngout/out.####.png" --frames "0-$((frames - 1))" \
  --threads "$threads" -q
row "prismora render in.####.png out.####.png --threads $threads" "$start" "$(now)"
