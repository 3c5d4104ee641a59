#!/usr/bin/env bash
# Builds the fuzzers (the fuzz preset) and runs each for a while, then prints
# what each did: executions, speed, coverage, corpus size and the result.
#   scripts/fuzz.sh [SECONDS] [TARGET...] [-- LIBFUZZER-FLAGS...]
# SECONDS per target, 600 by default, 0 for no limit (Ctrl-C stops the current
# target, and the next one starts). TARGETs: render, expression, pipl (all by
# default). The corpus grows across runs in build/fuzz/corpus/TARGET (the
# committed seeds in fuzz/corpus/TARGET are read, never written); inputs that
# fail land in build/fuzz/artifacts/TARGET, the log in build/fuzz/logs.
#   scripts/fuzz.sh 1800 render -- -runs=10000000 -rss_limit_mb=2048
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/fuzz"

seconds=600
if [ $# -gt 0 ] && [[ "$1" =~ ^[0-9]+$ ]]; then
  seconds="$1"
  shift
fi
targets=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
    render|expression|pipl) targets+=("$1") ;;
    *) echo "fuzz.sh: unknown target '$1' (known: render, expression, pipl)" >&2; exit 2 ;;
  esac
  shift
done
[ $# -gt 0 ] && shift  # the --
extra=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(render expression pipl)

cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

mkdir -p "$build/logs"
summary=()
failed=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  log="$build/logs/$target.log"
  mkdir -p "$corpus" "$artifacts"
  options=()
  while IFS= read -r line; do
    [[ "$line" == -* ]] && options+=("${line/#-dict=/-dict=$root/fuzz/}")
  done <"fuzz/$target.options"

  echo "== $target: ${seconds}s (log: $log)" >&2
  result=0
  "$build/fuzz_$target" "${options[@]}" -max_total_time="$seconds" -timeout=60 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" "${extra[@]}" \
    "$corpus" "fuzz/corpus/$target" >"$log" 2>&1 || result=$?

  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  last=$(grep -E '^#[0-9]+' "$log" | grep 'cov:' | tail -n 1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.* corp: \([0-9]*\/[0-9]*[a-zA-Z]*\).*/\1/p' <<<"$last")
  if [ "$result" -eq 0 ]; then
    outcome="ok"
  else
    newest=$(ls -t "$artifacts" 2>/dev/null | head -n 1 || true)
    outcome="FAILED ($result)${newest:+: $artifacts/$newest}"
    failed=1
    grep -E '^(fuzz_|==[0-9]+==|SUMMARY)' "$log" | head -n 5 >&2 || true
  fi
  summary+=("$(printf '%-10s %12s execs %8s/s  cov %6s  ft %7s  corpus %-14s %s' \
    "$target" "${execs:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$outcome")")
done

printf '%s\n' "${summary[@]}"
exit "$failed"
