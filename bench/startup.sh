#!/usr/bin/env bash
# Start-up of the board program for a logged-in user with a full board:
# from the start of qbp3 to the board painted, with the time of each step.
#
#   bench/startup.sh [WORKDIR]
#
# WORKDIR (default /tmp/qb-startup) gets once a data directory of NAMES
# records (default 1000: the administrator's and 999 people, added with
# qbtool), option 12 (automatic login) for "Person 1", and a workstation
# directory whose settings name him as the last user. One run that is not
# counted writes the settings as a real start leaves them; then RUNS (default
# 9) runs of `spawntime --marks`, which prints every run and the median of
# each mark, in milliseconds from the start of the process:
#   main      the program's entry (dynamic loading and static initialisers)
#   app       the application object made (platform plugin, fonts)
#   window    the main window created (with the settings test write)
#   windows   every window created, just before the main window is shown
#   startup   the deferred start-up begins (first show or activation)
#   settings  the local settings read and applied
#   loaded    the names table copied to the mirror and loaded
#   login     the automatic login done (configuration record, settings saved)
#   startup-done, shown   the start-up over; the board's grid painted
# Environment: QBP3, QBTOOL, SPAWNTIME (default: the build directory's),
# NAMES, RUNS, QT_QPA_PLATFORM (default offscreen).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${1:-/tmp/qb-startup}
QBP3=${QBP3:-$ROOT/build/board/qbp3}
QBTOOL=${QBTOOL:-$ROOT/build/tools/qbtool}
SPAWN=${SPAWNTIME:-$ROOT/build/bench/spawntime}
NAMES=${NAMES:-1000}
RUNS=${RUNS:-9}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

for f in "$QBP3" "$QBTOOL" "$SPAWN"; do
    [ -x "$f" ] || { echo "startup.sh: $f missing (cmake --build build --target qbp3 qbtool spawntime)" >&2; exit 2; }
done

DATA=$WORK/data-$NAMES
if [ ! -f "$DATA/.complete" ]; then
    rm -rf "$DATA"
    mkdir -p "$WORK"
    "$QBTOOL" init "$DATA" >/dev/null
    for ((i = 1; i < NAMES; i++)); do
        "$QBTOOL" add-name "$DATA" "Person $i" "Group $((i % 17))" >/dev/null
    done
    "$QBTOOL" set-option "$DATA" "Person 1" 12 on >/dev/null
    touch "$DATA/.complete"
fi

SYS=$WORK/sys
rm -rf "$SYS" "$WORK/cache" "$WORK/config"
mkdir -p "$SYS" "$WORK/cache" "$WORK/config" "$WORK/run"
chmod 700 "$WORK/run"
printf '[State]\nName=Person 1\n' >"$SYS/qb3local.ini"
export QUELLBOARD_SYSDIR=$SYS XDG_CACHE_HOME=$WORK/cache XDG_CONFIG_HOME=$WORK/config \
       XDG_RUNTIME_DIR=$WORK/run QUELLBOARD_INSTANCE=qb-startup-bench-$$

echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); $QT_QPA_PLATFORM; $NAMES names"
"$SPAWN" --marks 1 "$QBP3" 5 "$DATA" >/dev/null
"$SPAWN" --marks "$RUNS" "$QBP3" 5 "$DATA"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
