#!/bin/sh
# Retakes the screenshots of docs/playing.md from the real program: run from
# the top of the checkout as `sh docs/images/take.sh`. It builds (make build),
# starts the program with `make run` (and `make run NODE=k` for the network
# game) on a virtual display of its own (xvfb-run), plays the walk of
# docs/playing.md with xdotool (mouse moves, clicks, keys) and writes each
# picture with ImageMagick as a 640 x 480 palette PNG into docs/images.
# Its run directories are build/take-run and build/take-run-1..4, made afresh
# each time, so build/run and build/run-k keep what you did there.
# Needs xvfb-run, xdotool and ImageMagick (import, convert). About 4 minutes.
set -eu
top=$(pwd)
out=$top/docs/images
[ -f "$top/Makefile" ] && [ -d "$out" ] || { echo "take.sh: run it from the top of the checkout" >&2; exit 1; }
for tool in xvfb-run xdotool import convert; do
    command -v $tool >/dev/null || { echo "take.sh: $tool is missing" >&2; exit 1; }
done

# The display: 1280 x 960, room for four 640 x 480 windows side by side.
if [ -z "${QV_TAKE_DISPLAY:-}" ]; then
    make --no-print-directory build JOBS="${JOBS:-$(nproc)}"
    exec xvfb-run -a -s "-screen 0 1280x960x24" env QV_TAKE_DISPLAY=1 sh "$0"
fi

BUILD=build
log() { echo "take.sh: $*"; }
pids=""
# The programs, by the process ids their windows give, end as Ctrl+C ends them.
cleanup() { for p in $pids; do kill -INT "$p" 2>/dev/null || true; done; sleep 2; }
trap cleanup EXIT

# start DIR X Y [make arguments]: make run with that run directory, its window
# moved to (X, Y); sets WIN to the window.
start() {
    dir=$1 x=$2 y=$3
    shift 3
    before=$(xdotool search --name "Quorvex Engine" 2>/dev/null | sort || true)
    make --no-print-directory run RUNDIR="$BUILD/$dir" "$@" > "$BUILD/$dir.out" 2>&1 &
    WIN=""
    for _ in $(seq 120); do
        sleep 0.5
        WIN=$(xdotool search --name "Quorvex Engine" 2>/dev/null | sort | grep -vxF "$before" | head -n 1 || true)
        [ -n "$WIN" ] && break
    done
    [ -n "$WIN" ] || { log "no window for $dir"; cat "$BUILD/$dir.out"; exit 1; }
    pids="$pids $(xdotool getwindowpid "$WIN")"
    xdotool windowmove "$WIN" "$x" "$y"
    sleep 2
}

# Input goes to the window under the pointer: each step names the window
# (and its corner) it plays on.
X0=0 Y0=0
on() { WIN=$1 X0=$2 Y0=$3; xdotool windowraise "$WIN" windowfocus "$WIN" 2>/dev/null || true; }
move() { xdotool mousemove $((X0 + $1)) $((Y0 + $2)); sleep 0.3; }
click() { move "$1" "$2"; xdotool mousedown 1; sleep 0.15; xdotool mouseup 1; sleep "${3:-1}"; }
drag() {
    move "$1" "$2"; xdotool mousedown 1; sleep 0.2
    xdotool mousemove $((X0 + ($1 + $3) / 2)) $((Y0 + ($2 + $4) / 2)); sleep 0.2
    move "$3" "$4"; sleep 0.3; xdotool mouseup 1; sleep 1
}
keys() { for k in "$@"; do xdotool key "$k"; sleep 0.08; done; }
typed() { xdotool type --delay 100 "$1"; sleep 0.3; }
# shot NAME: the window at (X0, Y0) as a palette PNG, without dates in it.
shot() {
    import -window root -crop 640x480+$X0+$Y0 +repage "$BUILD/take.png"
    convert "$BUILD/take.png" -strip -define png:exclude-chunks=date,time PNG8:"$out/$1.png"
    log "$1.png"
}
# waitlog FILE TEXT SECONDS: 0 once the log has the text.
waitlog() {
    for _ in $(seq $(($3 * 2))); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.5; done
    return 1
}

# ---- Single player: the front end to the debriefing, a save on the way.
rm -rf "$BUILD"/take-run "$BUILD"/take-run-[1-4]
start take-run 0 0
on "$WIN" 0 0
move 320 470; shot main
click 320 104 1.5          # Single Player
click 320 252 1.5          # Play Custom Mission
click 75 108 1             # DEMO
shot custom
click 320 417 5            # Load Mission
move 320 470; shot game
drag 150 235 232 330       # a box round two tanks
keys ctrl+1                # made group 1: a "1" beside each
shot select
click 130 370 1            # the factory
move 480 90; sleep 1.5     # its first unit type, the tank
click 480 90 1.5           # one tank ordered
shot build
drag 150 235 232 330       # the two tanks again
click 516 392 1            # the minimap: they drive to the east base
xdotool keydown shift; click 516 392 0.3; xdotool keyup shift   # the view follows
sleep 1; move 240 252; sleep 1
click 240 252 1            # attack the depot
shot attack
click 608 16 1             # the menu panel
click 590 99 0.5           # the saved-game name
keys BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace
typed first.sav; keys Return   # the field holds the pointer until Enter
click 507 122 2            # Save
shot menu
# The column and the two tanks take the depot, or the clock ends the game.
if ! waitlog "$BUILD/take-run/quorvex.log" "won" 200; then
    log "no end in time: surrender"; click 556 303 2
    waitlog "$BUILD/take-run/quorvex.log" "won" 20
fi
sleep 3; click 320 240 2   # past the end picture
shot debrief
click 560 426 1.5          # Main Menu
# ---- The campaign map of a new campaign.
click 320 104 1.5          # Single Player
click 320 150 5            # Start New Game: the bridge page, then the map
move 600 470; shot campaign
click 40 240 3             # Options
click 179 415 3            # Quit to Main Menu
click 320 417 3            # Quit

# ---- Four players: the multiplayer menus over UDP, one window each.
corner_x() { echo $(( ($1 - 1) % 2 * 640 )); }
corner_y() { echo $(( ($1 - 1) / 2 * 480 )); }
for k in 1 2 3 4; do
    start take-run-$k $(corner_x $k) $(corner_y $k) NODE=$k
    eval "W$k=$WIN"
done
node() { eval "on \$W$1 $(corner_x $1) $(corner_y $1)"; }
node 1; click 320 356 2; click 447 429 3            # MANUAL IP, Create Game
for k in 2 3 4; do node $k; click 320 356 2; click 60 67 1; done
node 2; shot mpconnect
for k in 2 3 4; do node $k; click 560 429 3; done    # Join Game
node 2; click 210 368 0.5; typed "hello from two"; keys Return; sleep 1
node 1; click 535 243 2; click 152 168 1; click 234 321 2   # Select Map: Quad
for k in 2 3 4; do node $k; click 320 425 1; done    # the guests are ready
node 1; sleep 1; shot mpstaging
click 320 425 8                                     # LAUNCH
import -window root "$BUILD/take.png"
convert "$BUILD/take.png" -sample 50% -strip -define png:exclude-chunks=date,time PNG8:"$out/mpgame.png"
log "mpgame.png"
for k in 1 2 3 4; do grep -q "Team" "$BUILD/take-run-$k/quorvex.log" || log "node $k: no game?"; done
log "done"
