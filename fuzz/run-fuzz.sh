#!/bin/sh
# Builds the libFuzzer targets with clang in build-fuzz and runs them one at a
# time (the machine is shared: one job, one worker).
#
#   fuzz/run-fuzz.sh build                 configure and build only
#   fuzz/run-fuzz.sh run TARGET [RUNS] [SECONDS]
#                                          fuzz one target (table, locate,
#                                          profile, check, message) from its corpus;
#                                          defaults 10000000 runs, 1800 s
#   fuzz/run-fuzz.sh merge TARGET          minimise the target's corpus
#   fuzz/run-fuzz.sh all [RUNS] [SECONDS]  run every target in turn
#
# New inputs go to build-fuzz/work/TARGET; "merge" folds them into
# fuzz/corpus/TARGET. Crashes land in build-fuzz/artifacts/.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${QB_FUZZ_BUILD:-$root/build-fuzz}
targets="table locate profile check message"

build() {
    cmake -S "$root" -B "$build" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DQB_ONLY_CORE=ON -DQB_SANITIZE=ON -DQB_FUZZ=ON \
        -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" >/dev/null
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
    ASAN_OPTIONS=${ASAN_OPTIONS:-max_malloc_fill_size=0} \
        timeout $((secs + 100)) "$build/fuzz/fuzz_$t" \
        -runs="$runs" -max_total_time="$secs" -max_len=4096 -timeout=10 -rss_limit_mb=1024 \
        -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$t/" \
        "$build/work/$t" "$here/corpus/$t"
}

merge() {
    t=$1
    tmp="$build/merged/$t"
    rm -rf "$tmp"
    mkdir -p "$tmp"
    "$build/fuzz/fuzz_$t" -merge=1 -max_len=4096 "$tmp" "$here/corpus/$t" "$build/work/$t"
    rm -f "$here/corpus/$t"/*
    cp "$tmp"/* "$here/corpus/$t"/
}

case ${1:-} in
build) build ;;
run) run "$2" "${3:-}" "${4:-}" ;;
merge) merge "$2" ;;
all)
    build
    for t in $targets; do run "$t" "${2:-}" "${3:-}"; done
    ;;
*) sed -n '2,15p' "$0"; exit 2 ;;
esac
