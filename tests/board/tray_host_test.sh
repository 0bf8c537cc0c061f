#!/bin/bash
# The notification icon under a real XEmbed tray host (trayer) on Xvfb: the
# board's icon is embedded in the tray, and comes back when the tray host is
# killed and started again. Usage: tray_host_test.sh QBP3 QBTOOL
set -u
QBP3=$1 QBTOOL=$2
for tool in Xvfb trayer xwininfo; do
    command -v $tool >/dev/null || { echo "missing $tool"; exit 1; }
done
WORK=$(mktemp -d)
PIDS=()
cleanup() { for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT

# A free display number.
N=90
while [ -e /tmp/.X11-unix/X$N ] || [ -e /tmp/.X$N-lock ]; do N=$((N + 1)); done
export DISPLAY=:$N
Xvfb $DISPLAY -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 & PIDS+=($!)
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

startTray() { trayer --edge top --align right --widthtype request --height 28 >/dev/null 2>&1 & TRAY=$!; PIDS+=($TRAY); }
# The board's window inside trayer's panel, by its class.
embedded() { xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ {p=1} p && /"qbp3"/ {print; exit}'; }
waitEmbedded() { for _ in $(seq 300); do [ -n "$(embedded)" ] && return 0; sleep 0.1; done; return 1; }
# The board looks for a tray once, at start-up: the host must be up first.
waitTray() { for _ in $(seq 300); do xwininfo -root -tree | grep -q '"panel": ("panel" "trayer")' && return 0; sleep 0.1; done; return 1; }

startTray
waitTray || { echo "FAIL: trayer did not start"; exit 1; }
"$QBTOOL" init "$WORK/data" >/dev/null
cp "$QBP3" "$WORK/qbp3"
unset DBUS_SESSION_BUS_ADDRESS # the XEmbed tray, not a D-Bus one
QT_QPA_PLATFORM=xcb QUELLBOARD_SYSDIR=$WORK/sys XDG_CACHE_HOME=$WORK/cache XDG_CONFIG_HOME=$WORK/cfg QUELLBOARD_INSTANCE=tray-$$ \
    "$WORK/qbp3" 5 "$WORK/data" >"$WORK/qbp3.log" 2>&1 & PIDS+=($!)

waitEmbedded || { echo "FAIL: no icon in the tray"; cat "$WORK/qbp3.log"; exit 1; }
echo "icon in the tray: $(embedded)"
kill $TRAY; wait $TRAY 2>/dev/null
[ -z "$(embedded)" ] || { echo "FAIL: icon still embedded without a tray host"; exit 1; }
startTray
waitEmbedded || { echo "FAIL: icon not back after the tray host restarted"; exit 1; }
echo "icon back after restart: $(embedded)"
