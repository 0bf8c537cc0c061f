#!/usr/bin/env bash
# Sets the engine benchmark beside shapelib's DBF code on the same machine in
# the same invocation: qbbench and shpbench run alternately, RUNS times each,
# on the benchmark schema; prints medians and ratios against the targets.
# Then the board reload against a raw copy and read of the same bytes, and
# the system calls of the 500 ms timer ticks between and on polls.
#
#   bench/compare.sh [WORKDIR]
#
# Environment: QBBENCH, SHPBENCH, BOARDBENCH (default build/bench/...),
# N (records, 100000), K (replaces, 10000), R (reload passes, 20), RUNS (5),
# ROWS (board rows, 1000), TICKS (timer ticks traced, 90).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
QB=${QBBENCH:-$here/../build/bench/qbbench}
SHP=${SHPBENCH:-$(dirname "$QB")/shpbench}
BOARD=${BOARDBENCH:-$(dirname "$QB")/boardbench}
N=${N:-100000}
K=${K:-10000}
R=${R:-20}
RUNS=${RUNS:-5}
ROWS=${ROWS:-1000}
TICKS=${TICKS:-90}

for p in "$QB" "$SHP" "$BOARD"; do
    if [ ! -x "$p" ]; then
        echo "compare: $p not found; build first (shpbench needs libshp-dev) or set QBBENCH/SHPBENCH/BOARDBENCH" >&2
        exit 2
    fi
done
WORK=${1:-}
if [ -z "$WORK" ]; then
    WORK=$(mktemp -d)
    trap 'rm -rf "$WORK"' EXIT
fi
mkdir -p "$WORK"

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)]; else print 0 }'; }
# Value of KEY=... anywhere in the text on stdin.
field() { tr ' ' '\n' | awk -F= -v k="$1" '$1 == k { print $2; exit }'; }

declare -A T
# timed PROGRAM-TAG KEY COMMAND...: runs it, appends KEY's value to T[TAG.KEY],
# keeps its stdout in $WORK/TAG.out.
timed() {
    local tag=$1 key=$2; shift 2
    local err
    err=$( { "$@" >"$WORK/$tag.out"; } 2>&1 ) || { echo "compare: failed: $*" >&2; echo "$err" >&2; exit 1; }
    T[$tag.$key]+="$(field "$key" <<<"$err") "
}
same_result() {
    if ! cmp -s "$WORK/qb.out" "$WORK/shp.out"; then
        echo "compare: results differ after $1: qbbench $(cat "$WORK/qb.out") / shpbench $(cat "$WORK/shp.out")" >&2
        exit 1
    fi
}

echo "compare: N=$N K=$K R=$R, $RUNS alternating runs, in $WORK"
for run in $(seq "$RUNS"); do
    # Alternate which program goes first, so neither always meets a warm or cold cache.
    if [ $((run % 2)) -eq 1 ]; then order="qb shp"; else order="shp qb"; fi
    for step in create scan replace reload; do
        for prog in $order; do
            if [ "$prog" = qb ]; then bin=$QB; file=$WORK/qb.dbf; else bin=$SHP; file=$WORK/shp.dbf; fi
            case $step in
                create) timed "$prog" create_ns "$bin" create "$file" "$N" ;;
                scan) timed "$prog" scan_ns "$bin" scan "$file" ;;
                replace) timed "$prog" replace_ns "$bin" replace "$file" "$K" ;;
                reload) timed "$prog" reload_ns_median "$bin" reload "$file" "$R" ;;
            esac
        done
        case $step in scan | reload) same_result "$step" ;; esac
    done
done
if ! cmp -s <(tail -c +33 "$WORK/qb.dbf" | head -c 100000000) <(tail -c +33 "$WORK/shp.dbf"); then
    echo "note: the two files differ beyond the header's first 32 bytes" >&2
fi

printf '\n%-10s %14s %14s %8s   %s\n' workload "qbbench ms" "shpbench ms" ratio "target (qbbench / shpbench)"
report() {
    local key=$1 label=$2 target=$3 goal=$4
    local q s
    q=$(tr ' ' '\n' <<<"${T[qb.$key]}" | grep . | median)
    s=$(tr ' ' '\n' <<<"${T[shp.$key]}" | grep . | median)
    awk -v l="$label" -v q="$q" -v s="$s" -v t="$target" -v g="$goal" 'BEGIN {
        r = s > 0 ? q / s : 0
        printf "%-10s %14.2f %14.2f %8.2f   %s %s\n", l, q / 1e6, s / 1e6, r, g, (r <= t ? "met" : "MISSED")
    }'
}
report create_ns create 1.0 "<= 1.0"
report scan_ns scan 0.5 "<= 0.5"
report replace_ns replace 1.5 "<= 1.5 (qbbench under RLock, shapelib unlocked)"
report reload_ns_median "reload/pass" 1e9 "(no target)"

# Board reload: copy qb3.dbf to the mirror, load, display order; against a
# raw 8 KiB-block copy and read of the same bytes.
mkdir -p "$WORK/board"
ratios=()
for _ in $(seq "$RUNS"); do
    err=$("$BOARD" reload "$WORK/board" "$ROWS" "$R" 2>&1 >/dev/null)
    ratios+=("$(field ratio <<<"$err")")
    echo "  $err"
done
r=$(printf '%s\n' "${ratios[@]}" | median)
awk -v r="$r" -v rows="$ROWS" 'BEGIN { printf "board reload of %d rows / raw copy and read: median ratio %.2f   target <= 1.7 %s\n", rows, r, (r <= 1.7 ? "met" : "MISSED") }'

# Timer ticks: strace with a getppid() marker before every tick.
if command -v strace >/dev/null; then
    mkdir -p "$WORK/ticks"
    strace -o "$WORK/ticks.trace" "$BOARD" ticks "$WORK/ticks" "$TICKS" >"$WORK/ticks.out"
    echo "timer ticks at the 4-second refresh ($(cat "$WORK/ticks.out")): system calls per tick"
    awk '
        { name = $0; sub(/\(.*/, "", name) }
        name == "getppid" { if (started) sig[calls == "" ? "(none)" : calls]++; started = 1; calls = ""; next }
        started && name != "+++" && name != "---" { calls = calls (calls == "" ? "" : " ") name }
        END { for (s in sig) printf "  %5d ticks: %s\n", sig[s], s }' "$WORK/ticks.trace" | sort -nr
else
    echo "strace not installed: no system call counts for the timer ticks"
fi
