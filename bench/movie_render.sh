#!/usr/bin/env bash
# Times movies through `prismora render` against ffmpeg: a 1920x1080 H.264
# clip (120 frames at 30 fps, made by ffmpeg from its testsrc2 source, with
# AAC audio) rendered into H.264 by prismora on 2 threads; the closest peer
# a user would reach for, one ffmpeg command that splits the planes, runs
# `lenscorrection` on red and on blue with opposite k1 and k2 and merges
# them (only an approximation of the effect's curve); the same decode and
# encode by ffmpeg with no filter (what decoding and encoding alone cost);
# and the same clip as a PNG sequence rendered into a PNG sequence by
# prismora. Every ffmpeg command uses libx264 at prismora's settings (crf
# 18, yuv420p, BT.709 tags, the default preset), the same threads, and
# copies the audio.
#
# The peer and prismora run one after the other RUNS times, alternating;
# the table has one row per run and the ratios prismora / peer of the
# medians, by the clock and by the processor time of all threads (user +
# system), which other work on a shared machine disturbs less.
#   bench/movie_render.sh [PRISMORA]      (default build/release/prismora)
#   FRAMES=120 THREADS=2 SIZE=1920x1080 RUNS=1 PNG=1 ...
set -euo pipefail
cd "$(dirname "$0")/.."

tool=$(realpath "${1:-build/release/prismora}")
frames=${FRAMES:-120}
threads=${THREADS:-2}
size=${SIZE:-1920x1080}
runs=${RUNS:-1}
png=${PNG:-1}
work=$(mktemp -d "${TMPDIR:-/tmp}/prismora-movie-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=$size:rate=30" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000" -frames:v "$frames" -shortest \
  -c:v libx264 -pix_fmt yuv420p -crf 18 -c:a aac "$work/in.mp4"

# prismora's H.264 output, for every ffmpeg command.
x264=(-c:v libx264 -crf 18 -pix_fmt yuv420p -color_primaries bt709 -color_trc bt709
  -colorspace bt709 -color_range tv -threads "$threads" -c:a copy)
# Red pushed out and blue pulled in about the centre, bilinear like the
# host's sampler; green as it is. mergeplanes takes gbrp's planes in its
# order: green (input 1), blue (input 2), red (input 0).
k=0.02
fringe="[0:v]format=gbrp,extractplanes=r+g+b[r][g][b];\
[r]lenscorrection=k1=$k:k2=$k:i=bilinear[r2];\
[b]lenscorrection=k1=-$k:k2=-$k:i=bilinear[b2];\
[r2][g][b2]mergeplanes=0x102000:gbrp[v]"

TIMEFORMAT='%R %U %S'
# run LABEL COMMAND...: times the command, prints a row, and leaves its
# wall and processor seconds in $wall and $cpu.
run() {
  local label=$1
  shift
  local t
  t=$( { time "$@" >/dev/null 2>"$work/stderr"; } 2>&1 ) || { cat "$work/stderr" >&2; exit 1; }
  read -r wall user sys <<<"$t"
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
  awk -v l="$label" -v f="$frames" -v w="$wall" -v c="$cpu" 'BEGIN {
    printf "%-58s %8.2f %8.1f %8.2f %9.2f %9.1f\n", l, w, 1000 * w / f, f / w, c, 1000 * c / f }'
}

median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 } END {
  print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

printf '%-58s %8s %8s %8s %9s %9s\n' "run ($frames frames, $size, $threads threads)" "wall s" \
  "ms/frame" "frames/s" "cpu s" "cpu ms/f"

cat "$work/in.mp4" >/dev/null
run "ffmpeg -i in.mp4 -c:v libx264 (no filter: the floor)" \
  ffmpeg -nostdin -v error -y -threads "$threads" -i "$work/in.mp4" "${x264[@]}" "$work/floor.mp4"

peer_wall="" peer_cpu="" ours_wall="" ours_cpu="" timing=""
for ((i = 1; i <= runs; i++)); do
  run "ffmpeg -filter_complex (lenscorrection on r and b)" \
    ffmpeg -nostdin -v error -y -threads "$threads" -filter_complex_threads "$threads" \
    -i "$work/in.mp4" -filter_complex "$fringe" -map "[v]" -map 0:a "${x264[@]}" \
    "$work/peer.mp4"
  peer_wall+=" $wall" peer_cpu+=" $cpu"
  run "prismora render in.mp4 out.mp4" \
    "$tool" render "$work/in.mp4" "$work/out.mp4" --threads "$threads" -q --timing
  ours_wall+=" $wall" ours_cpu+=" $cpu"
  timing=$(sed 's/^prismora: timing: //' "$work/stderr")
done
echo "$timing" | fold -s -w 96 | sed 's/^/    /'
awk -v pw="$(median <<<"$peer_wall")" -v pc="$(median <<<"$peer_cpu")" \
  -v ow="$(median <<<"$ours_wall")" -v oc="$(median <<<"$ours_cpu")" -v n="$runs" 'BEGIN {
  printf "prismora / ffmpeg lenscorrection (%s %s): %.2fx by the clock, %.2fx processor time\n",
    n, n == 1 ? "run" : "runs, medians", ow / pw, oc / pc }'

if [ "$png" = 1 ]; then
  mkdir "$work/png" "$work/pngout"
  ffmpeg -nostdin -v error -y -i "$work/in.mp4" -start_number 0 "$work/png/in.%04d.png"
  cat "$work"/png/*.png >/dev/null
  run "prismora render in.####.png out.####.png" \
    "$tool" render "$work/png/in.####.png" "$work/pngout/out.####.png" \
    --frames "0-$((frames - 1))" --threads "$threads" -q
fi
