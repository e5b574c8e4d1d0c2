#!/usr/bin/env bash
# Decodes the same scene with our scene graph and with OpenSceneGraph 3.6,
# each side in its own process, the two taking turns, and prints the medians
# and our share of the peer's (goal: decode at most 0.8, peak memory while
# reading at most 1.2).
#   bench/peer/compare_decode.sh [BUILD_DIR] [RUNS] [tree|geometry]
# BUILD_DIR defaults to build/release; it needs bench_decode_talvik and
# bench_decode_osg (built when Debian's libopenscenegraph-dev is installed).
set -euo pipefail
build=${1:-build/release}
runs=${2:-5}
scene=${3:-tree}
ours=$build/bin/bench_decode_talvik
peer=$build/bin/bench_decode_osg
for program in "$ours" "$peer"; do
  [ -x "$program" ] || { echo "missing $program (see docs/BENCHMARKS.md)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$ours" write "$work/scene.osb" "$scene"
"$peer" write "$work/scene.osgb" "$scene"

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for ((i = 0; i < runs; ++i)); do
  "$ours" read "$work/scene.osb"
  "$peer" read "$work/scene.osgb"
done | tee "$work/results"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

median() { # side, field
  grep "^$1 " "$work/results" | tr ' ' '\n' | sed -n "s/^$2=//p" | sort -g |
    awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
for field in first_ms warm_ms peak_mb file_mb; do
  a=$(median talvik $field)
  b=$(median osg $field)
  awk -v f=$field -v a="$a" -v b="$b" 'BEGIN { printf "%-8s talvik %9.2f  osg %9.2f  ratio %.2f\n", f, a, b, a / b }'
done
