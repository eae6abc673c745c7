#!/usr/bin/env bash
# Starts the real program on the X display, finds its window, checks its size and saves
# a screenshot that must not be blank.
set -euo pipefail
binary=$1
out=$2
log="$out/parvane-smoke.log"
shot="$out/parvane-screenshot.png"

if [ -z "${DISPLAY:-}" ]; then
    echo "smoke test: needs an X display (run it under xvfb-run)" >&2
    exit 1
fi

"$binary" >"$log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT

window=""
for _ in $(seq 1 150); do
    # The tree can change under xwininfo while windows come and go: try again then.
    window=$({ xwininfo -root -tree 2>/dev/null || true; } | awk '/"Parvane 4.0":/ { print $1; exit }')
    [ -n "$window" ] && break
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "smoke test: parvane exited early:" >&2
        cat "$log" >&2
        exit 1
    fi
    sleep 0.2
done
if [ -z "$window" ]; then
    echo "smoke test: no window titled \"Parvane 4.0\" appeared" >&2
    cat "$log" >&2
    exit 1
fi

size=$(xwininfo -id "$window" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
if [ "$size" != "338x561" ]; then
    echo "smoke test: the window is $size, not 338x561" >&2
    exit 1
fi

sleep 3 # the first paint, then the web pane starting
import -window "$window" "$shot"
colours=$(convert "$shot" -format %k info:)
if [ "$colours" -lt 16 ]; then
    echo "smoke test: the screenshot has only $colours colours: blank" >&2
    exit 1
fi
if ! kill -0 "$pid" 2>/dev/null; then
    echo "smoke test: parvane did not keep running" >&2
    cat "$log" >&2
    exit 1
fi
# Asked to stop by the system, it ends at once, as when its window is closed.
kill -TERM "$pid"
timeout 5 tail --pid="$pid" -f /dev/null || { echo "smoke test: parvane ignored SIGTERM" >&2; exit 1; }
status=0
wait "$pid" || status=$?
trap - EXIT
if [ "$status" -ne 0 ]; then
    echo "smoke test: parvane ended with status $status on SIGTERM" >&2
    cat "$log" >&2
    exit 1
fi
echo "smoke test: window 338x561 with $colours colours; screenshot at $shot; ended on SIGTERM"
