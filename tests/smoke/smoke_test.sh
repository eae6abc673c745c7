#!/usr/bin/env bash
# The real program. Help, version and misuse answer with no display at all. On the X display,
# started on a file named by a relative name, its window shows as laid out with the file
# playing; asked to stop by the system, it ends at once; a file it cannot play leaves the
# window up with the player's message; where the web engine could not run, the player does.
set -euo pipefail
binary=$(realpath "$1")
work=$(mktemp -d)
pid=""
cleanup() {
    [ -z "$pid" ] || { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "smoke test: $*" >&2
    [ ! -s "$work/log" ] || cat "$work/log" >&2
    exit 1
}

# answers STATUS STDOUT STDERR ARG...: STDOUT and STDERR are patterns, or "" for nothing.
answers() {
    local status=$1 out=$2 err=$3 got=0
    shift 3
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$binary" "$@" \
        >"$work/out" 2>"$work/err" || got=$?
    [ "$got" = "$status" ] || fail "parvane $* exited with $got, not $status"
    for stream in out err; do
        local pattern=$out
        [ "$stream" = out ] || pattern=$err
        if [ -z "$pattern" ]; then
            [ ! -s "$work/$stream" ] || fail "parvane $* wrote to std$stream: $(cat "$work/$stream")"
        else
            grep -qE "$pattern" "$work/$stream" || fail "parvane $*: no \"$pattern\" on std$stream"
        fi
    done
}

answers 0 '^parvane 1\.00$' '' --version
answers 0 '^Usage: parvane \[FILE\]$' '' --help
answers 0 '^Usage: parvane \[FILE\]$' '' -h
answers 2 '' 'more than one file' a.vob b.vob
answers 2 '' "unknown option '--bogus'" --bogus
answers 2 '' "unknown option '-x'" -x a.vob
answers 2 '' 'take nothing else' --help a.vob
answers 2 '' '^Usage: parvane' --version --help

[ -n "${DISPLAY:-}" ] || fail "the window part needs an X display (run it under xvfb-run)"

# launch COMMAND...: in the work folder, in the background, its output in the log.
launch() {
    (cd "$work" && exec "$@") >"$work/log" 2>&1 &
    pid=$!
}
start() {
    launch "$binary" "$@"
}
# The window titled "Parvane 4.0", once it is mapped.
window() {
    timeout 20 xdotool search --sync --onlyvisible --name '^Parvane 4\.0$' | head -n 1
}
# waitForColours LOW HIGH: until the player's picture (above its control bar) has LOW to HIGH
# colours, while the program runs: 1 when black, a few hundred with the player's message
# lettered on black, thousands with the test picture playing. Prints the count.
waitForColours() {
    local colours=0 until=$((SECONDS + 20))
    while [ "$SECONDS" -lt "$until" ] && kill -0 "$pid" 2>/dev/null; do
        colours=$(timeout 5 import -window "$(window)" png:- 2>/dev/null |
            convert - -crop 323x215+6+36 +repage -format %k info: 2>/dev/null) || colours=0
        if [ "$colours" -ge "$1" ] && [ "$colours" -le "$2" ]; then
            echo "$colours"
            return 0
        fi
    done
    echo "$colours"
    return 1
}

ffmpeg -nostdin -loglevel error -f lavfi -i testsrc2=size=720x576:rate=25 -t 20 \
    -target pal-dvd "$work/title one.vob"
# With the start-up trace, the program names the X window of each first paint: a window
# made anew would be painted, and named, again.
launch env PARVANE_TRACE_STARTUP=1 "$binary" "title one.vob"
playing=$(waitForColours 1000 1000000) || fail "\"title one.vob\" is not playing ($playing colours)"
# The player and the web pane arrive after the first paint; the window they arrive in is
# the one that was painted first, never a new one in its place.
painted=$(sed -n 's/^parvane: first paint [0-9]* window \([0-9]*\)$/\1/p' "$work/log" | sort -u)
[ "$painted" = "$(window)" ] ||
    fail "the window painted first is not the one playing: painted $(echo $painted), shown $(window)"
size=$(xwininfo -id "$(window)" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
[ "$size" = 338x561 ] || fail "the window is $size, not 338x561"
# Asked to stop by the system, it ends at once, as when its window is closed.
stop() {
    kill -TERM "$pid"
    timeout 5 tail --pid="$pid" -f /dev/null || fail "parvane ignored SIGTERM"
    local status=0
    wait "$pid" || status=$?
    pid=""
    [ "$status" -eq 0 ] || fail "parvane ended with status $status on SIGTERM"
}
stop

start "$work/absent.vob"
lettered=$(waitForColours 2 999) || fail "no message for a file it cannot play ($lettered colours)"
echo "smoke test: usage answers right; a named file plays ($playing colours) in a $size window," \
    "the one first mapped," \
    "and ends on SIGTERM; one it cannot play is lettered ($lettered colours)"
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=""

# With a /dev/shm it cannot use, the web engine would end the whole program; the pane says
# why instead, and the player plays on. A read-only /dev/shm needs a mount namespace of its
# own, so root.
if [ "$(id -u)" != 0 ]; then
    echo "smoke test: not root, so the unusable /dev/shm is not tried"
    exit 0
fi
launch unshare --mount sh -c 'mount -t tmpfs -o ro,size=1m tmpfs /dev/shm && exec "$@"' sh \
    "$binary" "title one.vob"
# The log is followed line by line until the word comes, the program ends or 20 s pass.
said=""
while IFS= read -r line; do
    if [[ $line == *"The page cannot be shown. /dev/shm cannot hold"* ]]; then
        said=yes
        break
    fi
done < <(timeout 20 tail -n +1 --pid="$pid" -f "$work/log")
if [ -z "$said" ]; then
    if ! kill -0 "$pid" 2>/dev/null; then
        status=0
        wait "$pid" || status=$?
        pid=""
        fail "parvane ended with status $status with a read-only /dev/shm"
    fi
    fail "no word on the read-only /dev/shm"
fi
playing=$(waitForColours 1000 1000000) ||
    fail "with a read-only /dev/shm, \"title one.vob\" is not playing ($playing colours)"
stop
echo "smoke test: with a read-only /dev/shm the web pane says why, and the file plays" \
    "($playing colours)"
