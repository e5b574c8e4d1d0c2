#!/bin/bash
# Licensed under the MIT licence; see LICENSE.
# Whole-program costs per reference at several sizes, through the talvik
# program only. For each size N it writes N small OBJ parts, then times:
#   - import --smart of all parts into one project (every part becomes a
#     smart reference with its own ".zmb" file),
#   - status of that project (a project load with N smart references, then
#     the table),
#   - resolve after the smart files were moved to another folder (a load
#     that finds every file again, then a save),
#   - import of the same parts as plain source references, and its status,
#     for the peak memory per reference.
# Goals: cost per reference at the largest size at most 1.3x that at the
# smallest (CPU time; wall time is printed beside it, since fsync and the
# other users of the machine are in it); 10,000 smart references imported in
# under 15 s and their status under 2 s; peak memory at most 4 KB per plain
# reference at 100,000.
#
# usage: bench_smart_scale [N...]     (default: 1000 10000 100000)
# TALVIK names the program (default: talvik beside this script);
# BENCH_DIR the scratch folder (default: a new one under /tmp, removed at
# the end unless BENCH_KEEP is set).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
talvik=${TALVIK:-$here/talvik}
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000 10000 100000)
[ -x "$talvik" ] || { echo "bench_smart_scale: no talvik program at $talvik" >&2; exit 3; }
scratch=${BENCH_DIR:-$(mktemp -d /tmp/bench_smart_scale.XXXXXX)}
mkdir -p "$scratch"
# 100,000 part names overflow the default 2 MB for arguments, a quarter of
# the stack limit.
ulimit -s 65536 2>/dev/null || true
[ -n "${BENCH_KEEP:-}" ] || trap 'rm -rf "$scratch"' EXIT

# One timed run: wall s, user s, sys s, peak KB on one line, in $result.
timed() {
    local out
    out=$(mktemp)
    /usr/bin/time -o "$out" -f "%e %U %S %M" "$@" > /dev/null 2>"$out.err" || {
        local code=$?
        # status and resolve exit 1 or 2 for outdated or missing files: a
        # result, not a failure.
        if [ $code -gt 2 ]; then
            echo "bench_smart_scale: failed ($code): ${*:1:2} ..." >&2
            tail -5 "$out.err" >&2
            exit 4
        fi
    }
    result=$(tail -1 "$out")
    rm -f "$out" "$out.err"
}

declare -A cpu wall peak
steps=(import_smart status_smart resolve_smart import_plain status_plain)
printf '%-8s %-14s %10s %10s %12s %12s %12s\n' refs step wall_s cpu_s wall_us/ref cpu_us/ref peak_B/ref
for n in "${sizes[@]}"; do
    dir=$scratch/$n
    rm -rf "$dir"
    mkdir -p "$dir/p" "$dir/moved"
    cd "$dir"
    # Each part its own small triangle; short names keep 100,000 of them
    # within one command line.
    awk -v n="$n" 'BEGIN { for (i = 0; i < n; i++) { f = sprintf("p/a%06d.obj", i)
        printf "o part%d\nv 0 0 %d\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", i, i > f; close(f) } }'
    sync
    load=$(cut -d' ' -f1 /proc/loadavg)
    for step in "${steps[@]}"; do
        case $step in
        import_smart) timed "$talvik" import p/*.obj --into smart.zmb --smart ;;
        status_smart) timed "$talvik" status smart.zmb ;;
        resolve_smart)
            find . -maxdepth 1 -name 'a*.zmb' -exec mv -t moved {} +
            timed "$talvik" resolve smart.zmb --search-path moved ;;
        import_plain) timed "$talvik" import p/*.obj --into plain.zmb ;;
        status_plain) timed "$talvik" status plain.zmb ;;
        esac
        read -r w u s m <<< "$result"
        wall[$n,$step]=$w
        cpu[$n,$step]=$(echo "$u + $s" | bc -l)
        peak[$n,$step]=$m
        printf '%-8s %-14s %10.2f %10.2f %12.1f %12.1f %12.0f\n' "$n" "$step" "$w" "${cpu[$n,$step]}" \
            "$(echo "$w * 1000000 / $n" | bc -l)" "$(echo "${cpu[$n,$step]} * 1000000 / $n" | bc -l)" \
            "$(echo "$m * 1024 / $n" | bc -l)"
    done
    echo "# load average at the start of $n: $load, at the end: $(cut -d' ' -f1 /proc/loadavg)"
    cd "$scratch"
    rm -rf "$dir"
done

first=${sizes[0]}
last=${sizes[${#sizes[@]}-1]}
echo
echo "cost per reference at $last against $first (goal: at most 1.3x)"
for step in "${steps[@]}"; do
    printf '  %-14s cpu %5.2fx  wall %5.2fx\n' "$step" \
        "$(echo "(${cpu[$last,$step]} / $last) / (${cpu[$first,$step]} / $first)" | bc -l)" \
        "$(echo "(${wall[$last,$step]} / $last) / (${wall[$first,$step]} / $first)" | bc -l)"
done
