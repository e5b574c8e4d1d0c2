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
  case $name in
    bench_decode_*) continue ;; # the peer comparison: compare_decode.sh
    bench_run_all) continue ;;  # this script itself
  esac
  began=$SECONDS
  load=$(cut -d' ' -f1 /proc/loadavg)
  run=("$program")
  # The 3D view needs an X display with OpenGL.
  if [ "$name" = bench_scene_view ] && [ -z "${DISPLAY:-}" ] && command -v xvfb-run > /dev/null; then
    run=(xvfb-run -a -s "-screen 0 1600x1000x24" "$program")
  fi
  "${run[@]}" > "$out/$name.txt" 2>&1 || echo "$name failed (see $out/$name.txt)"
  echo "== $name: $((SECONDS - began)) s, load average $load"
  grep -E "ratio|/ | x |goal" "$out/$name.txt" | grep -v "^BM_\|^-\|^Benchmark" || true
done
echo "== all: $((SECONDS - start)) s; output in $out"
