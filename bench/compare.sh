#!/usr/bin/env bash
# Sets the engine benchmark beside shapelib's DBF code on the same machine in
# the same invocation: qbbench and shpbench run alternately, RUNS times each,
# on the benchmark schema; then the board reload against a raw copy and read
# of the same bytes and against shapelib's copy and parse of them, and the
# start-up (start to exit of a scan of an empty table). Prints one table of
# medians and ratios against the targets, the machine's load beside it, and
# the system calls of the 500 ms timer ticks between and on polls.
#
#   bench/compare.sh [WORKDIR]
#
# Environment: QBBENCH, SHPBENCH, BOARDBENCH, SPAWNTIME (default
# build/bench/...), N (records, 100000), K (replaces, 10000), R (reload
# passes, 20), RUNS (7), ROWS (board rows, 1000), STARTS (start-ups per run,
# 20), TICKS (timer ticks traced, 90).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
QB=${QBBENCH:-$here/../build/bench/qbbench}
SHP=${SHPBENCH:-$(dirname "$QB")/shpbench}
BOARD=${BOARDBENCH:-$(dirname "$QB")/boardbench}
SPAWN=${SPAWNTIME:-$(dirname "$QB")/spawntime}
N=${N:-100000}
K=${K:-10000}
R=${R:-20}
RUNS=${RUNS:-7}
STARTS=${STARTS:-20}
ROWS=${ROWS:-1000}
TICKS=${TICKS:-90}

for p in "$QB" "$SHP" "$BOARD" "$SPAWN"; do
    if [ ! -x "$p" ]; then
        echo "compare: $p not found; build first (shpbench needs libshp-dev) or set QBBENCH/SHPBENCH/BOARDBENCH/SPAWNTIME" >&2
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
# keeps its stdout in $WORK/TAG.out and its stderr in $err.
timed() {
    local tag=$1 key=$2; shift 2
    err=$( { "$@" >"$WORK/$tag.out"; } 2>&1 ) || { echo "compare: failed: $*" >&2; echo "$err" >&2; exit 1; }
    T[$tag.$key]+="$(field "$key" <<<"$err") "
}
same_result() {
    if ! cmp -s "$WORK/qb.out" "$WORK/shp.out"; then
        echo "compare: results differ after $1: qbbench $(cat "$WORK/qb.out") / shpbench $(cat "$WORK/shp.out")" >&2
        exit 1
    fi
}

echo "compare: N=$N K=$K R=$R ROWS=$ROWS, $RUNS alternating runs, in $WORK"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
mkdir -p "$WORK/board"
"$BOARD" reload "$WORK/board" "$ROWS" 1 >/dev/null 2>&1 # makes the names table
"$QB" create "$WORK/empty-qb.dbf" 0 2>/dev/null
"$SHP" create "$WORK/empty-shp.dbf" 0 2>/dev/null
for run in $(seq "$RUNS"); do
    # Alternate which program goes first, so neither always meets a warm or cold cache.
    if [ $((run % 2)) -eq 1 ]; then order="qb shp"; else order="shp qb"; fi
    for step in create scan replace reload board startup; do
        for prog in $order; do
            if [ "$prog" = qb ]; then bin=$QB; file=$WORK/qb.dbf; else bin=$SHP; file=$WORK/shp.dbf; fi
            case $step in
                create) timed "$prog" create_ns "$bin" create "$file" "$N" ;;
                scan) timed "$prog" scan_ns "$bin" scan "$file" ;;
                replace) timed "$prog" replace_ns "$bin" replace "$file" "$K" ;;
                reload) timed "$prog" reload_ns_median "$bin" reload "$file" "$R" ;;
                # The board's reload of its names table (copy to the mirror,
                # load, display order) beside shapelib's copy and parse of the
                # same file; boardbench also times a raw copy and read of it.
                board)
                    if [ "$prog" = qb ]; then
                        timed qb board_reload_ns_median "$BOARD" reload "$WORK/board" "$ROWS" "$R"
                        T[qb.raw]+="$(field raw_copy_read_ns_median <<<"$err") "
                        T[qb.rawratio]+="$(field ratio <<<"$err") "
                    else
                        timed shpboard reload_ns_median "$SHP" reload "$WORK/board/qb3.dbf" "$R"
                        T[shp.board_reload_ns_median]+="$(field reload_ns_median <<<"$err") "
                    fi ;;
                startup)
                    if [ "$prog" = qb ]; then
                        QBBENCH_NO_YARDSTICK=1 "$SPAWN" "$STARTS" "$QB" scan "$WORK/empty-qb.dbf" >"$WORK/spawn.out"
                    else
                        "$SPAWN" "$STARTS" "$SHP" scan "$WORK/empty-shp.dbf" >"$WORK/spawn.out"
                    fi
                    T[$prog.startup]+="$(field spawn_ns_median <"$WORK/spawn.out") " ;;
            esac
        done
        case $step in scan | reload) same_result "$step" ;; esac
    done
done
if ! cmp -s <(tail -c +33 "$WORK/qb.dbf" | head -c 100000000) <(tail -c +33 "$WORK/shp.dbf"); then
    echo "note: the two files differ beyond the header's first 32 bytes" >&2
fi

med() { tr ' ' '\n' <<<"${T[$1]}" | grep . | median; }
printf '\n%-34s %12s %12s %8s   %s\n' workload "qbbench ms" "shapelib ms" ratio "target (qbbench / shapelib)"
report() {
    local key=$1 label=$2 target=$3 goal=$4
    awk -v l="$label" -v q="$(med "qb.$key")" -v s="$(med "shp.$key")" -v t="$target" -v g="$goal" 'BEGIN {
        r = s > 0 ? q / s : 0
        printf "%-34s %12.3f %12.3f %8.2f   %s %s\n", l, q / 1e6, s / 1e6, r, g, (t == "" ? "" : (r <= t ? "met" : "MISSED"))
    }'
}
report scan_ns "scan every field, $N records" 0.5 "<= 0.5"
report replace_ns "$K replaces (ours under RLock)" 1.5 "<= 1.5 (shapelib unlocked)"
report create_ns "bulk create, $N records" 1.0 "<= 1.0"
report reload_ns_median "copy+read of $N records, per pass" "" "(no target)"
report board_reload_ns_median "board reload, $ROWS rows" 0.999 "< 1.0 (shapelib: copy+parse)"
report startup "start-up (scan of an empty table)" 1.0 "<= 1.0"
awk -v q="$(med qb.board_reload_ns_median)" -v raw="$(med qb.raw)" -v r="$(med qb.rawratio)" -v rows="$ROWS" 'BEGIN {
    printf "board reload of %d rows: %.3f ms, raw 8 KiB-block copy and read %.3f ms; median ratio %.2f   target <= 1.7 %s\n",
        rows, q / 1e6, raw / 1e6, r, (r <= 1.7 ? "met" : "MISSED") }'
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

# System calls per record of a scan: a scan of the table less a scan of an
# empty one (start-up and open), both without the raw-read yardstick.
if command -v strace >/dev/null; then
    calls() { QBBENCH_NO_YARDSTICK=1 strace -f -c -o "$WORK/calls.txt" "$@" >/dev/null 2>&1; awk '$NF == "total" { print $4 }' "$WORK/calls.txt"; }
    for prog in qb shp; do
        if [ "$prog" = qb ]; then bin=$QB; else bin=$SHP; fi
        full=$(calls "$bin" scan "$WORK/$prog.dbf")
        empty=$(calls "$bin" scan "$WORK/empty-$prog.dbf")
        awk -v p="$(basename "$bin")" -v f="$full" -v e="$empty" -v n="$N" 'BEGIN {
            printf "%s scan of %d records: %d system calls (%d for start-up and open), %.4f per record\n", p, n, f, e, (f - e) / n }'
    done
fi

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
