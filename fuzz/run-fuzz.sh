#!/bin/sh
# Builds the libFuzzer targets with clang in build-fuzz and runs them one at a
# time (the machine is shared: one job, one worker).
#
#   fuzz/run-fuzz.sh build                 configure and build only
#   fuzz/run-fuzz.sh run TARGET [RUNS] [SECONDS]
#                                          fuzz one target (table, locate,
#                                          profile, check, message, settings)
#                                          from its corpus; defaults 10000000
#                                          runs, 1800 s
#   fuzz/run-fuzz.sh merge TARGET          fold new finds into the corpus, kept small
#   fuzz/run-fuzz.sh replay TARGET         run every input of the target's work
#                                          directory and corpus once more
#   fuzz/run-fuzz.sh all [RUNS] [SECONDS]  run every target in turn
#
# New inputs go to build-fuzz/work/TARGET; "merge" folds them into
# fuzz/corpus/TARGET. Crashes land in build-fuzz/artifacts/.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${QB_FUZZ_BUILD:-$root/build-fuzz}
targets="table locate profile check message settings"

# Inputs longer than this bring no new code and cost time on every run: a
# table with a few records and a memo block, a message of a few lines, an
# ini file of a few sections.
max_len() {
    case $1 in
    message) echo 300 ;;
    profile | settings) echo 1024 ;;
    *) echo 2048 ;;
    esac
}

# A small quarantine and short allocation stacks: the default 256 MB
# quarantine made every allocation touch fresh pages (a third of the time
# went to page faults). Replay a crash with plain ASAN_OPTIONS for full stacks.
asan_options=${ASAN_OPTIONS:-max_malloc_fill_size=0:quarantine_size_mb=16:malloc_context_size=2}

# Comparisons are not traced unless QB_FUZZ_TRACE_CMP=1: the callback on
# every comparison (most of them in inlined string code) halved the speed,
# and the seeds already hold the header values a table needs.
build() {
    flags="-fsanitize=fuzzer-no-link"
    [ "${QB_FUZZ_TRACE_CMP:-0}" = 1 ] || flags="$flags -fno-sanitize-coverage=trace-cmp"
    cmake -S "$root" -B "$build" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DQB_ONLY_CORE=ON -DQB_SANITIZE=ON -DQB_FUZZ=ON \
        -DCMAKE_CXX_FLAGS="$flags" >/dev/null
    for t in $targets; do
        cmake --build "$build" -j2 --target "fuzz_$t"
    done
}

run() {
    t=$1
    runs=${2:-10000000}
    secs=${3:-1800}
    mkdir -p "$build/work/$t" "$build/artifacts/$t"
    # Corpus directories: new finds go to the first, the kept corpus is read.
    ASAN_OPTIONS=$asan_options \
        timeout $((secs + 100)) "$build/fuzz/fuzz_$t" \
        -runs="$runs" -max_total_time="$secs" -max_len="$(max_len "$t")" -timeout=10 -rss_limit_mb=1024 \
        -print_final_stats=1 -print_funcs=0 \
        -artifact_prefix="$build/artifacts/$t/" \
        "$build/work/$t" "$here/corpus/$t"
}

# Keeps the corpus to a few dozen inputs: edges only, no hit counts, so one
# input per newly reached piece of code. Hand-named inputs (seed-*,
# finding-*) always stay.
merge() {
    t=$1
    tmp="$build/merged/$t"
    rm -rf "$tmp"
    mkdir -p "$tmp"
    ASAN_OPTIONS=$asan_options "$build/fuzz/fuzz_$t" -merge=1 -use_counters=0 -use_value_profile=0 \
        -max_len="$(max_len "$t")" "$tmp" "$here/corpus/$t" "$build/work/$t"
    find "$here/corpus/$t" -type f ! -name 'seed-*' ! -name 'finding-*' -delete
    for f in "$tmp"/*; do
        name=$(basename "$f")
        found=0
        for named in "$here/corpus/$t"/seed-* "$here/corpus/$t"/finding-*; do
            [ -f "$named" ] && cmp -s "$f" "$named" && found=1 && break
        done
        [ $found = 1 ] || cp "$f" "$here/corpus/$t/$name"
    done
}

replay() {
    t=$1
    mkdir -p "$build/work/$t"
    ASAN_OPTIONS=$asan_options "$build/fuzz/fuzz_$t" -runs=0 -max_len="$(max_len "$t")" \
        "$build/work/$t" "$here/corpus/$t"
}

case ${1:-} in
build) build ;;
run) run "$2" "${3:-}" "${4:-}" ;;
merge) merge "$2" ;;
replay) replay "$2" ;;
all)
    build
    for t in $targets; do run "$t" "${2:-}" "${3:-}"; done
    ;;
*) sed -n '2,18p' "$0"; exit 2 ;;
esac
