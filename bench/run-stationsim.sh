#!/usr/bin/env bash
# Runs the station simulator for several station counts, one after another,
# and prints each run's summary.
#
#   bench/run-stationsim.sh [WORKDIR]
#
# Environment: STATIONSIM (the program; default build/bench/stationsim),
# QBTOOL (default: next to it, ../tools/qbtool), COUNTS (station counts,
# "10 50 200"), SECONDS_PER_RUN (60), WRITERS (3).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
SIM=${STATIONSIM:-$here/../build/bench/stationsim}
QBTOOL=${QBTOOL:-$(dirname "$SIM")/../tools/qbtool}
COUNTS=${COUNTS:-10 50 200}
SECONDS_PER_RUN=${SECONDS_PER_RUN:-60}
WRITERS=${WRITERS:-3}

if [ ! -x "$SIM" ] || [ ! -x "$QBTOOL" ]; then
    echo "run-stationsim: $SIM or $QBTOOL not found; build first or set STATIONSIM and QBTOOL" >&2
    exit 2
fi
WORK=${1:-}
if [ -z "$WORK" ]; then
    WORK=$(mktemp -d)
    trap 'rm -rf "$WORK"' EXIT
fi
mkdir -p "$WORK"

status=0
for n in $COUNTS; do
    echo "== $n stations"
    "$SIM" --dir "$WORK/n$n" --stations "$n" --seconds "$SECONDS_PER_RUN" --writers "$WRITERS" \
        --qbtool "$QBTOOL" || status=1
done
exit $status
