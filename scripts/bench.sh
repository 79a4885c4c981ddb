#!/usr/bin/env bash
# Builds and runs the benchmarks: every command on every scene beside its floor,
# with repetitions (REPETITIONS, 5 by default), ending with the summary table of
# medians, then the About panel's redraw. Extra arguments go to the command
# benchmarks (--benchmark_filter=...).
#
#   scripts/bench.sh --callgrind [FILTER]   instruction counts instead of times:
#       each matching benchmark runs once under callgrind, only the measured
#       runs instrumented; repeatable on a busy machine. FILTER defaults to the
#       scenes that take minutes rather than hours there.
set -euo pipefail
cd "$(dirname "$0")/.."
MARROWLINK_WINDOWS=0 scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target commands_bench about_panel_bench >/dev/null
bench=build/native/bench/commands_bench

if [ "${1:-}" != --callgrind ]; then
  echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs); load before: $(cut -d' ' -f1-3 /proc/loadavg)"
  "$bench" --benchmark_repetitions="${REPETITIONS:-5}" --benchmark_report_aggregates_only=true "$@"
  echo
  echo "About panel: the logo's 20000 plot calls beside their floor, and a whole redraw in the simulator"
  build/native/bench/about_panel_bench --benchmark_repetitions="${REPETITIONS:-5}" --benchmark_report_aggregates_only=true \
    2>&1 | grep -E '_median|^Benchmark'
  echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
  exit 0
fi

filter="${2:-/(character|crowd|chain)/(module|floor)$}"
if ! command -v valgrind >/dev/null; then
  echo "bench: installing valgrind"
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends valgrind >/dev/null
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$out/cg" \
  "$bench" --benchmark_filter="$filter" --benchmark_min_time=0 >"$out/log" 2>&1
# Each benchmark dumped "NAME iterations N bones B" with its instruction total.
for dump in "$out"/cg.*; do
  name=$(grep -a -m1 '^desc: Trigger: Client Request:' "$dump" | sed 's/.*Request: //') || continue
  echo "$name $(grep -a -m1 '^totals:' "$dump" | cut -d' ' -f2)"
done >"$out/totals"
echo "| scene | command | module / floor | module instructions per bone | floor instructions per bone |"
echo "|---|---|---:|---:|---:|"
awk '
  { split($1, part, "/"); key = part[1] "/" part[2]; runs = $3; bones[key] = $5
    ir[key, part[3]] = $6 / runs; keys[key] = 1 }
  END {
    for (key in keys) {
      split(key, part, "/")
      if (ir[key, "floor"] > 0)
        printf "| %s | %s | %.2f | %.0f | %.0f |\n", part[2], part[1], ir[key, "module"] / ir[key, "floor"],
               ir[key, "module"] / bones[key], ir[key, "floor"] / bones[key]
    }
  }' "$out/totals" | sort -t'|' -k2,2 -k3,3
