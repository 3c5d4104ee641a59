#!/usr/bin/env bash
# The farm's overhead on a one-node Slurm cluster: one 1080p H.264 shot with
# audio through `prismora render --threads 2`, then through `prismora farm`
# as 2 tasks of 1 processor each (chunks of half the shot; the assembly
# on 2, as the render encodes on 2 threads), and what the
# farm adds (checks and submission, scheduling, the assembly) in seconds and
# as a share of the render. Needs root (the cluster lives in private
# namespaces, as in the tests), the packages scripts/bootstrap.sh installs, and bc.
#   bench/farm_overhead.sh [FRAMES] [BUILD]     (default 96, build/release)
set -euo pipefail
frames=${1:-96}
build=${2:-build/release}
here=$(cd "$(dirname "$0")/.." && pwd)
prismora=$(cd "$build" && pwd)/prismora
work=$(mktemp -d /tmp/prismora-farm-bench.XXXXXX)
chmod 0755 "$work"  # munged wants every folder above its socket open to all
mkdir -p "$work/cluster"
timeout -s KILL 1800 unshare --net --pid --fork --mount-proc --kill-child \
  sh "$here/tests/slurm_one_node.sh" "$work/cluster" >"$work/cluster.log" 2>&1 &
holder=$!
cleanup() {
  exec 2>/dev/null  # not the shell's word on the cluster it kills
  pkill -KILL -P "$holder" 2>/dev/null || true
  wait "$holder" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -e "$work/cluster/ready" ] && break; sleep 0.2; done
[ -e "$work/cluster/ready" ] || { cat "$work/cluster.log" >&2; exit 1; }
read -r inner < "/proc/$holder/task/$holder/children" || true  # no newline at its end
net=/proc/$inner/ns/net
in_cluster() { nsenter --net="$net" env SLURM_CONF="$work/cluster/slurm.conf" "$@"; }
now() { date +%s.%N; }

cd "$work"
ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=1920x1080:rate=24:duration=$(echo "($frames - 0.5) / 24" | bc -l)" \
  -f lavfi -i "sine=sample_rate=48000:duration=$(echo "$frames / 24" | bc -l)" \
  -c:v libx264 -pix_fmt yuv420p -c:a aac in.mp4

start=$(now)
"$prismora" render in.mp4 single.mp4 --threads 2 -q
render=$(echo "$(now) - $start" | bc -l)

start=$(now)
in_cluster "$prismora" farm in.mp4 farm.mp4 --chunk $(((frames + 1) / 2)) --cpus-per-task 1 --assembly-cpus 2 -q >/dev/null
submitted=$(echo "$(now) - $start" | bc -l)
until [ -e farm.mp4.farm/assembled ]; do
  if ! in_cluster "$prismora" farm status farm.mp4.farm >/dev/null; then
    in_cluster "$prismora" farm status farm.mp4.farm >&2; exit 1
  fi
  sleep 0.1
done
total=$(echo "$(now) - $start" | bc -l)
assembly=$(sed -n 's/.* in \([0-9.]*\) s: .*/\1/p' farm.mp4.farm/logs/assemble.log)
chunks=$(echo "$total - $submitted - $assembly" | bc -l)
overhead=$(echo "$total - $render" | bc -l)

same=no
[ "$(ffmpeg -v error -i single.mp4 -map 0:v -f framemd5 - | grep -v '^#')" = \
  "$(ffmpeg -v error -i farm.mp4 -map 0:v -f framemd5 - | grep -v '^#')" ] && same=yes
printf '%s frames 1920x1080 H.264 with audio; decoded frames equal: %s\n' "$frames" "$same"
printf '%-52s %8.2f s\n' "prismora render --threads 2" "$render"
printf '%-52s %8.2f s\n' "prismora farm, 2 tasks x 1 CPU, until the movie is whole" "$total"
printf '%-52s %8.2f s\n' "  checks, job folder and submission" "$submitted"
printf '%-52s %8.2f s\n' "  chunks (scheduling and rendering)" "$chunks"
printf '%-52s %8.2f s\n' "  assembly" "$assembly"
printf '%-52s %8.2f s (%.1f%% of the render)\n' "overhead" "$overhead" "$(echo "100 * $overhead / $render" | bc -l)"
