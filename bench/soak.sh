#!/usr/bin/env bash
# Two qbp3 boards (offscreen) and the station simulator's writers on one data
# directory for DURATION seconds (default 1800): remarks and messages flow,
# each board's resident memory, descriptors and held locks are sampled every
# 30 s, and every write is accounted for afterwards. The same program runs
# for three minutes in the tests (soak_tests).
#
#   bench/soak.sh [DURATION]
#
# Environment: SOAK (the program; default build/tests/soak/soak_tests).
# Prints every sample as it is taken, then the first, minute-1, middle, last
# and quiet samples of both boards and the accounting. Exit status 0 when
# nothing grew, no lock stayed and nothing was lost.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
SOAK=${SOAK:-$here/../build/tests/soak/soak_tests}
DURATION=${1:-1800}
if [ ! -x "$SOAK" ]; then
    echo "soak: $SOAK not found; build the soak_tests target first or set SOAK" >&2
    exit 2
fi
report=$(mktemp)   # the program appends to it
log=$(mktemp)
trap 'rm -f "$report" "$log"' EXIT
status=0
# QtTest stops a test function after five minutes unless told otherwise.
QT_QPA_PLATFORM=offscreen QB_SOAK_SECONDS=$DURATION QB_SOAK_REPORT=$report \
    QTEST_FUNCTION_TIMEOUT=$(( (DURATION + 900) * 1000 )) \
    "$SOAK" -o "$log",txt >/dev/null 2>&1 || status=$?
echo "== samples: board, point, seconds, VmRSS kB, descriptors, locks seen in fdinfo / in /proc/locks, CPU ms so far"
grep -E '^[AB] +(run|quiet) ' "$report" || true
echo "== summary"
grep -vE '^[AB] +(run|quiet) ' "$report" || true
grep -A1 '^FAIL!' "$log" || true
echo "== verdict: $([ $status -eq 0 ] && echo pass || echo "FAIL (exit $status)")"
exit $status
