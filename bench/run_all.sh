#!/usr/bin/env bash
# Runs every benchmark program of a build once, one after the other, and
# prints each one's ratio lines (the lines after its table) with the time it
# took and the load average, then the total. Full output goes to OUT_DIR.
#   bench/run_all.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
build=${1:-build/release}
out=${2:-$(mktemp -d)}
mkdir -p "$out"
start=$SECONDS
for program in "$build"/bin/bench_*; do
  name=$(basename "$program")
  case $name in bench_decode_*) continue ;; esac # the peer comparison: compare_decode.sh
  began=$SECONDS
  load=$(cut -d' ' -f1 /proc/loadavg)
  "$program" > "$out/$name.txt" 2>&1 || echo "$name failed (see $out/$name.txt)"
  echo "== $name: $((SECONDS - began)) s, load average $load"
  grep -E "ratio|/ | x |goal" "$out/$name.txt" | grep -v "^BM_\|^-\|^Benchmark" || true
done
echo "== all: $((SECONDS - start)) s; output in $out"
