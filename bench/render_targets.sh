#!/usr/bin/env bash
# The render's speed and memory targets, measured through the real plug-in in
# the emulated host ("Mode" 2 and the defaults elsewhere), printed as tables:
#
# - per depth at 3840x2160: the main and the blur pass, and the host's sampler
#   alone at the positions each pass asked for (ns per pixel of the frame);
# - the main pass against the sampler alone at exactly its positions, run
#   side by side (target: at most 1.3 times);
# - the main pass's cost per pixel at 1920x1080, 3840x2160 and 7680x4320,
#   run side by side (target: largest over smallest at most 1.15);
# - the peak memory of a 3840x2160 render with blur on (target: at most the
#   input, output and blur worlds plus 64 MiB).
#
#   bench/render_targets.sh [BUILD_DIR]        (default build/release)
#
# Times are medians of the thread's processor time; on a busy machine they
# vary from run to run, the ratios less so.
set -euo pipefail
cd "$(dirname "$0")/.."

dir=$(realpath "${1:-build/release}")
bench=$dir/prismora_bench
memory=$dir/prismora_render_memory
for program in "$bench" "$memory"; do
  if [ ! -x "$program" ]; then
    echo "render_targets.sh: no $program (build the benchmarks first)" >&2
    exit 1
  fi
done

# Runs one family of benchmarks; prints per benchmark its depth in bits and
# the named counters.
run() {
  local filter=$1
  shift
  "$bench" --benchmark_filter="$filter" --benchmark_format=csv 2>/dev/null |
    awk -F, -v want="$*" '
      NR == 1 {
        for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); column[$i] = i }
        n = split(want, names, " ")
        next
      }
      {
        if ($(column["error_occurred"]) == "true") {
          print "render_targets.sh: " $1 " failed: " $(column["error_message"]) > "/dev/stderr"
          exit 1
        }
        match($1, /bits:[0-9]+/)
        line = substr($1, RSTART + 5, RLENGTH - 5)
        for (k = 1; k <= n; k++) line = line " " $(column[names[k]])
        print line
      }'
}

declare -A main blur sampler_main sampler_blur
while read -r bits value; do main[$bits]=$value; done < <(run 'BM_MainPass/w:3840' ns_per_px)
while read -r bits value; do blur[$bits]=$value; done < <(run 'BM_BlurPass/w:3840' ns_per_px)
while read -r bits value; do sampler_main[$bits]=$value; done < <(run 'BM_SamplerMain/w:3840' ns_per_px)
while read -r bits value; do sampler_blur[$bits]=$value; done < <(run 'BM_SamplerBlur/w:3840' ns_per_px)

echo "Passes at 3840x2160, ns per pixel"
printf '%-6s %10s %10s %16s %16s\n' depth main blur "sampler (main)" "sampler (blur)"
for bits in 8 16 32; do
  printf '%-6s %10.2f %10.2f %16.2f %16.2f\n' "$bits" "${main[$bits]}" "${blur[$bits]}" \
    "${sampler_main[$bits]}" "${sampler_blur[$bits]}"
done

echo
echo "Main pass against the sampler alone at its positions, 3840x2160 (target <= 1.3)"
printf '%-6s %14s %14s %8s\n' depth "render ns/px" "sampler ns/px" ratio
run 'BM_RenderVsSampler' render_ns_per_px sampler_ns_per_px ratio |
  while read -r bits render sampler ratio; do
    printf '%-6s %14.2f %14.2f %8.3f\n' "$bits" "$render" "$sampler" "$ratio"
  done

echo
echo "Main pass cost per pixel by size, ns per pixel (target: spread <= 1.15)"
printf '%-6s %10s %10s %10s %8s\n' depth 1080p 2160p 4320p spread
run 'BM_LinearCost' ns_per_px_1080p ns_per_px_2160p ns_per_px_4320p spread |
  while read -r bits small middle large spread; do
    printf '%-6s %10.2f %10.2f %10.2f %8.3f\n' "$bits" "$small" "$middle" "$large" "$spread"
  done

echo
echo "Peak memory of a 3840x2160 render with blur (target: growth <= worlds + 64 MiB)"
printf '%-6s %14s %12s %12s %14s\n' depth "growth MiB" "worlds MiB" "budget MiB" growth/budget
for bits in 8 16 32; do
  "$memory" --size 3840x2160 --bits "$bits" --blur on | tail -n 1 |
    awk -v bits="$bits" '{
      for (i = 1; i <= NF; i++) { split($i, pair, "="); value[pair[1]] = pair[2] }
      printf "%-6s %14s %12s %12s %14s\n", bits, value["peak_growth_mib"], value["worlds_mib"],
        value["budget_mib"], value["growth_over_budget"]
    }'
done
