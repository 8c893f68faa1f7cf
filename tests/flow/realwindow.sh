#!/bin/sh
# A single-player game played by hand in the real program's window, on a
# virtual display, the pointer and keys driven by xdotool: the main page,
# Single Player, Play Custom Mission, DEMO, Load Mission; in the game the menu
# panel's name field takes "flow.sav" (typed, Enter), Save writes it, Load
# reads it back; Surrender, the end picture, the debriefing, Main Menu, Quit.
# Each step waits for the program's log to show it was taken.
# Usage: realwindow.sh PROGRAM MKDATA DEMO: the run directory is made as
# `make run` makes it, from the demo world (DEMO) and what MKDATA generates.
set -u
program=$1 mkdata=$2 demo=$3
if [ -z "${QV_REALWINDOW_DISPLAY:-}" ]; then
    command -v xvfb-run >/dev/null || { echo "realwindow: xvfb-run is missing"; exit 1; }
    exec xvfb-run -a -s "-screen 0 640x480x24" env QV_REALWINDOW_DISPLAY=1 sh "$0" "$@"
fi
command -v xdotool >/dev/null || { echo "realwindow: xdotool is missing"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/realwindow.XXXXXX")
pid=""
finish() {
    if [ -n "$pid" ]; then kill -INT "$pid" 2>/dev/null; wait "$pid"; fi
    rm -rf "$work"
}
trap finish EXIT
cp -r "$demo/." "$work/"
"$mkdata" demo "$work" > "$work/mkdata.txt" 2>&1 || { cat "$work/mkdata.txt"; exit 1; }
log=$work/quorvex.log
(cd "$work" && exec "$program" > "$work/out.txt" 2>&1) &
pid=$!

fail() {
    echo "realwindow: $*"
    echo "--- the log's end:"; tail -n 25 "$log" 2>/dev/null
    echo "--- the program's output:"; tail -n 10 "$work/out.txt"
    exit 1
}
# count LINE: how many lines of the log are that line.
count() { n=$(grep -cxF "$1" "$log" 2>/dev/null); echo "${n:-0}"; }
# upto N LINE SECONDS: 0 once the log has N such lines.
upto() {
    i=0
    while [ "$i" -lt $(($3 * 10)) ]; do
        [ "$(count "$2")" -ge "$1" ] && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1; i=$((i + 1))
    done
    return 1
}
click() { xdotool mousemove "$1" "$2"; sleep 0.2; xdotool mousedown 1; sleep 0.1; xdotool mouseup 1; }
# step X Y LINE: a click at (X, Y) until the log has one more such line (a
# page just built may miss the first).
step() {
    want=$(($(count "$3") + 1))
    for _ in 1 2 3; do
        click "$1" "$2"
        upto "$want" "$3" 5 && { sleep 0.5; return 0; }
    done
    fail "no [$3] after clicks at ($1, $2)"
}

upto 1 "Shell state 1" 20 || fail "the main page never showed"
xdotool search --sync --name "Quorvex Engine" >/dev/null || fail "no window"
sleep 1
step 320 104 "Shell state 7"                 # Single Player
step 320 252 "Shell state 13"                # Play Custom Mission
click 75 108; sleep 0.5                      # DEMO
step 320 417 "GameSpecifics: init SavedGame" # Load Mission
sleep 2
click 608 16; sleep 1                        # the menu panel
click 590 99; sleep 0.5                      # the name field holds the pointer until Enter
for _ in 1 2 3 4 5 6 7 8; do xdotool key BackSpace; done
xdotool type --delay 50 flow.sav; xdotool key Return; sleep 0.5
step 507 122 "Message: Game saved"           # Save
[ -s "$work/save/flow.sav" ] || fail "Save wrote no save/flow.sav"
step 507 100 "Message: Loading the game flow.sav"   # Load
step 556 303 "Team 1 won (ie. You lost)"     # Surrender
sleep 2
step 320 240 "Shell state 14"                # past the end picture: the debriefing
step 560 426 "Shell state 1"                 # Main Menu
click 320 417                                # Quit
i=0
while kill -0 "$pid" 2>/dev/null && [ "$i" -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
kill -0 "$pid" 2>/dev/null && fail "Quit left the program running"
wait "$pid"; rc=$?
pid=""
[ "$rc" -eq 0 ] || fail "exit code $rc after Quit"
[ "$(count "Standard exit point")" -ge 1 ] || fail "no standard exit"
echo "realwindow: front end, game, save, load, surrender, debriefing, main page, quit: ok"
