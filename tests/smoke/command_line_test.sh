#!/usr/bin/env bash
# The real binary's command line. Help, version and misuse answer with no display at all;
# a file named at start (by a relative name) is playing once the window shows, and a file
# that cannot be played leaves the window up with the player's message.
set -euo pipefail
binary=$(realpath "$1")
work=$(mktemp -d)
pid=""
window=""
cleanup() {
    [ -z "$pid" ] || { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "command line test: $*" >&2
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

# Starts parvane with ARGS from the work folder; sets pid and window.
start() {
    (cd "$work" && exec "$binary" "$@") >"$work/log" 2>&1 &
    pid=$!
    for _ in $(seq 1 150); do
        window=$({ xwininfo -root -tree 2>/dev/null || true; } |
            awk '/"Parvane 4.0":/ { print $1; exit }')
        [ -z "$window" ] || return 0
        kill -0 "$pid" 2>/dev/null || fail "parvane $* exited early: $(cat "$work/log")"
        sleep 0.2
    done
    fail "parvane $*: no window titled \"Parvane 4.0\""
}

stop() {
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=""
}

# Colours in the player's picture (above its control bar): 1 when black, a few hundred with
# the player's message lettered on black, thousands with the test picture playing.
pictureColours() {
    import -window "$window" "$work/shot.png" 2>/dev/null || { echo 0; return; }
    convert "$work/shot.png" -crop 323x215+6+36 +repage -format %k info:
}

# waitForColours LOW HIGH: until the picture has LOW to HIGH colours; prints the count.
waitForColours() {
    local colours=0
    for _ in $(seq 1 75); do
        colours=$(pictureColours)
        if [ "$colours" -ge "$1" ] && [ "$colours" -le "$2" ]; then
            echo "$colours"
            return 0
        fi
        sleep 0.2
    done
    echo "$colours"
    return 1
}

ffmpeg -nostdin -loglevel error -f lavfi -i testsrc2=size=720x576:rate=25 -t 20 \
    -target pal-dvd "$work/title one.vob"
start "title one.vob"
playing=$(waitForColours 1000 1000000) ||
    fail "\"title one.vob\" is not playing: the picture has $playing colours"
stop

start "$work/absent.vob"
lettered=$(waitForColours 2 999) || fail "no message for a file it cannot play ($lettered colours)"
kill -0 "$pid" 2>/dev/null || fail "parvane ended on a file it cannot play: $(cat "$work/log")"
stop
echo "command line test: usage answers right; a named file plays ($playing colours)," \
    "one it cannot play is lettered ($lettered colours)"
