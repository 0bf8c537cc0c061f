#!/usr/bin/env bash
# Runs the engine benchmark: medians of several runs of each workload, their
# ratios to a plain sequential read of the same file, and the system calls
# one locked append costs (strace -c -f).
#
#   bench/run-bench.sh [WORKDIR]
#
# Environment: QBBENCH (the program; default build/bench/qbbench), N (records,
# 100000), K (replaces, 10000), R (reload passes, 20), RUNS (runs per
# workload, 5), APPENDS (locked appends, 1000).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
BENCH=${QBBENCH:-$here/../build/bench/qbbench}
N=${N:-100000}
K=${K:-10000}
R=${R:-20}
RUNS=${RUNS:-5}
APPENDS=${APPENDS:-1000}

if [ ! -x "$BENCH" ]; then
    echo "run-bench: $BENCH not found; build first or set QBBENCH" >&2
    exit 2
fi
WORK=${1:-}
if [ -z "$WORK" ]; then
    WORK=$(mktemp -d)
    trap 'rm -rf "$WORK"' EXIT
fi
mkdir -p "$WORK"
FILE=$WORK/bench.dbf

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)]; else print 0 }'; }
# Value of key=... from a line of qbbench's stderr.
field() { tr ' ' '\n' | awk -F= -v k="$1" '$1 == k { print $2 }'; }

# run WORKLOAD-NAME COMMAND...: RUNS runs, prints the median time and ratio.
run() {
    local name=$1; shift
    local times=() ratios=() out err
    for _ in $(seq "$RUNS"); do
        err=$( { "$BENCH" "$@" >"$WORK/out.txt"; } 2>&1 )
        local line
        line=$(grep "^${name}_ns=" <<<"$err" | tail -1)
        times+=("$(field "${name}_ns" <<<"$line")")
        ratios+=("$(field ratio <<<"$line")")
    done
    local t r
    t=$(printf '%s\n' "${times[@]}" | median)
    r=$(printf '%s\n' "${ratios[@]}" | median)
    printf '%-22s median %12.3f ms   ratio to raw read %8.1f   %s\n' "$name" "$(awk -v t="$t" 'BEGIN { print t / 1e6 }')" "$r" \
        "$(tr '\n' ' ' <"$WORK/out.txt")"
}

echo "qbbench: N=$N K=$K R=$R, $RUNS runs each, in $WORK"
run create create "$FILE" "$N"
run scan scan "$FILE"
run replace replace "$FILE" "$K"
run scan scan "$FILE"
err=$( { "$BENCH" reload "$FILE" "$R" >"$WORK/out.txt"; } 2>&1 )
line=$(grep '^reload_median_ns=' <<<"$err")
printf '%-22s median %12.3f ms   ratio to raw read %8.1f   %s\n' "reload (per pass)" \
    "$(awk -v t="$(field reload_median_ns <<<"$line")" 'BEGIN { print t / 1e6 }')" "$(field ratio <<<"$line")" \
    "$(tr '\n' ' ' <"$WORK/out.txt")"

per=()
for _ in $(seq "$RUNS"); do
    rm -f "$WORK/append.dbf"
    err=$("$BENCH" appendlocked "$WORK/append.dbf" "$APPENDS" 2>&1 >/dev/null)
    per+=("$(grep '^append_ns_per_record=' <<<"$err" | cut -d= -f2)")
done
printf '%-22s median %12.3f ms per append (%s appends)\n' "appendlocked" \
    "$(awk -v t="$(printf '%s\n' "${per[@]}" | median)" 'BEGIN { print t / 1e6 }')" "$APPENDS"

if command -v strace >/dev/null; then
    # Difference between a run with APPENDS appends and one with none, so
    # start-up and opening do not count.
    rm -f "$WORK/s0.dbf" "$WORK/s1.dbf"
    strace -c -f -o "$WORK/strace0.txt" "$BENCH" appendlocked "$WORK/s0.dbf" 0 >/dev/null 2>&1
    strace -c -f -o "$WORK/strace1.txt" "$BENCH" appendlocked "$WORK/s1.dbf" "$APPENDS" >/dev/null 2>&1
    echo "system calls per locked append (ALock, Append, Flush, Commit, UnLock):"
    awk -v n="$APPENDS" '
        $NF == "total" || $1 ~ /^-/ || $1 == "%" { next }
        FNR == NR { base[$NF] = $4; next }
        { d = $4 - base[$NF]; if (d > 0) { per[$NF] = d / n; sum += d / n } }
        END {
            for (s in per) printf "  %-16s %6.2f\n", s, per[s] | "sort -k2 -nr"
            close("sort -k2 -nr")
            printf "  %-16s %6.2f\n", "total", sum
        }' "$WORK/strace0.txt" "$WORK/strace1.txt"
else
    echo "strace not installed: no system call counts"
fi
