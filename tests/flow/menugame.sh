#!/bin/sh
# A network game as players play it: test nodes meet through the multiplayer
# menus (the menus' runner, tests/multi/runmenus.sh, with the page scripts
# SCRIPTS/CASE-I.txt) and play the demo scenario to its end; then checks it.
# Usage: menugame.sh NETNODE RUNDIR BASE TIMEOUT SCRIPTS CASE NAME...
# Environment: NODEARGS and NODEOPTS as the runner takes them, and
#   LEAVER=I    node I leaves mid-game: its digests are the others' first
#               ones, and every other node disables its team at one update
#   SAVER=I     node I gives the save order: every node writes the saved
#               game, which reads back, of the same size on every node
#   HOSTILE=I   node I sends garbage: the others drop and log it
#   PLAYBACK=I  node I's recorded orders, played back alone, give its digests
#   BOUND=N     the nodes play N updates, not to the game's end
# Every other node must play to the game's end (or the bound) with the same
# digest at every update as the others.
set -u
if [ "${QV_NETNS:-}" != "1" ]; then
    exec sh "$(dirname "$0")/../scripts/netns-run.sh" sh "$0" "$@"
fi
node=$1 rundir=$2 base=$3 timeout=$4 scripts=$5 case=$6
shift 6
n=$#
work=$(mktemp -d "${TMPDIR:-/tmp}/menugame.XXXXXX")
games=""
trap '[ "${KEEP:-0}" = 1 ] && echo "kept $work $games" || rm -rf "$work" $games' EXIT

# The demo world with its demo scenario among the multiplayer maps, where
# the staging page finds it, with two more bases (demofour.scn) for a game
# of four.
demo="$rundir/scenario/SINGLE/DEMO"
mkdir -p "$work/world/scenario/MULTI/DEMO"
ln -s "$rundir/data" "$work/world/data"
# The network's errors and warnings in each node's log.
sed 's/^\( *\)EnableDiagnostics.*/&\n\1EnableNetErrors 1\n\1EnableNetWarnings 1/' \
    "$rundir/quorvex.cfg" > "$work/world/quorvex.cfg"
for d in "$rundir"/scenario/*; do
    [ "$(basename "$d")" = MULTI ] || ln -s "$d" "$work/world/scenario/"
done
ln -s "$rundir"/scenario/MULTI/* "$work/world/scenario/MULTI/"
for f in "$demo"/*; do
    [ "$(basename "$f")" = QUORVEX.scn ] || ln -s "$f" "$work/world/scenario/MULTI/DEMO/"
done
# The bases go before the first base's things, after the teams.
awk -v more="$(dirname "$0")/demofour.scn" '/^SetDefaultTeam/ && !done { while ((getline l < more) > 0) print l; done = 1 } 1' \
    "$demo/QUORVEX.scn" > "$work/world/scenario/MULTI/DEMO/QUORVEX.scn"
"${MKDATA:?MKDATA names mkdata}" seeds mmsummary "$work/world/scenario/MULTI/DEMO" || exit 1

start=$(date +%s)
KEEP=1 SCENARIO=DEMO UPDATES=${BOUND:-100000} sh "$(dirname "$0")/../multi/runmenus.sh" "$node" "$work/world" "$base" \
    "$timeout" "$scripts" "$case" "$@" > "$work/menus.txt" 2>&1
menus=$?
games=$(sed -n 's/^kept //p' "$work/menus.txt")
sed '/^kept /d' "$work/menus.txt" | grep -v '^\[node [0-9]\] Staging row'
status=0
fail() { echo "FAIL: $*"; status=1; }
[ -d "$games" ] || { echo "FAIL: no nodes' directory"; exit 1; }
[ "$menus" = 0 ] || { echo "FAIL: the menus' run failed"; exit 1; }
echo "menugame: $n nodes, $(($(date +%s) - start)) s, faults ${QUORVEX_NETFAULTS:-none}"

first=""
for i in $(seq 0 $((n - 1))); do
    d="$games/node$i"
    [ "$i" = "${LEAVER:-}" ] && continue
    grep -q "Out of sync" "$d/quorvex.log" && fail "node $i: out of sync"
    grep -q "Game ended after" "$d/quorvex.log" || fail "node $i: its game did not end"
    if [ -z "$first" ]; then
        first=$i
        lines=$(wc -l < "$d/digests.txt")
        echo "  the game ended after $lines updates: $(grep -o "Game ended after.*" "$d/quorvex.log")"
        if [ -n "${BOUND:-}" ]; then
            [ "$lines" = "$BOUND" ] || fail "node $i did not reach update $BOUND"
        else
            [ "$lines" -ge 2000 ] || fail "node $i ended at update $lines, before the demo's end"
        fi
        grep -o "Team [0-9]*.s player has left the game: team disabled at update [0-9]*" "$d/quorvex.log" > "$work/disabled"
    else
        cmp -s "$games/node$first/digests.txt" "$d/digests.txt" ||
            fail "digests of nodes $first and $i differ from update" \
                "$(cmp "$games/node$first/digests.txt" "$d/digests.txt" | sed 's/.*line //')"
        grep -o "Team [0-9]*.s player has left the game: team disabled at update [0-9]*" "$d/quorvex.log" | cmp -s - "$work/disabled" ||
            fail "nodes $first and $i disabled teams differently"
    fi
done
if [ -n "${LEAVER:-}" ]; then
    d="$games/node$LEAVER"
    left=$(wc -l < "$d/digests.txt")
    echo "  node $LEAVER left after update $left"
    [ "$left" -lt "$lines" ] || fail "node $LEAVER did not leave mid-game"
    head -n "$left" "$games/node$first/digests.txt" | cmp -s - "$d/digests.txt" ||
        fail "node $LEAVER's digests are not the others' first ones"
    team=$(sed 's/.*(team \([0-9]*\)).*/\1/' "$d/summary.txt" 2>/dev/null)
    grep -q "Team $team.s player" "$work/disabled" || fail "the leaver's team $team was not disabled"
    sed 's/^/  /' "$work/disabled"
fi
if [ -n "${SAVER:-}" ]; then
    for i in $(seq 0 $((n - 1))); do
        [ -s "$games/node$i/save/MULTI.SAV" ] || { fail "node $i wrote no saved game"; continue; }
        [ -s "$games/node$i/save.canonical" ] || { fail "node $i's saved game does not read back"; continue; }
        # Each holds its own player's view (the screen, what its team saw):
        # the same game gives the same blocks, not the same bytes.
        [ "$(wc -c < "$games/node$i/save.canonical")" = "$(wc -c < "$games/node$SAVER/save.canonical")" ] ||
            fail "nodes $SAVER and $i saved games of other sizes"
    done
    echo "  node $SAVER's save order: every node saved the game"
fi
if [ -n "${HOSTILE:-}" ]; then
    sent=$(sed -n 's/.*garbage datagrams sent \([0-9]*\).*/\1/p' "$games/node$HOSTILE/summary.txt")
    echo "  node $HOSTILE sent ${sent:-no} garbage datagrams"
    [ "${sent:-0}" -gt 0 ] || fail "node $HOSTILE sent no garbage"
    for i in $(seq 0 $((n - 1))); do
        [ "$i" = "$HOSTILE" ] && continue
        dropped=$(grep -c "CRC Error during verification\|Packet of unknown type\|Packet of impossible length" \
            "$games/node$i/quorvex.log")
        echo "  node $i logged $dropped dropped datagrams"
        [ "$dropped" -gt 0 ] || fail "node $i logged no dropped garbage"
    done
fi
if [ -n "${PLAYBACK:-}" ]; then
    d="$games/node$PLAYBACK"
    cycles=$(sed 's/.*UnitCycles \([0-9]*\),.*/\1/' "$d/summary.txt")
    (cd "$d" && timeout -s KILL "$timeout" "$node" --node "$PLAYBACK" --nodes "$n" --base "$base" \
        --updates 100000 --playback orders.rec --setup launch.bin --cycles "$cycles" > playback-out.txt 2>&1)
    cmp -s "$d/digests.txt" "$d/playback.txt" &&
        echo "  node $PLAYBACK's recorded orders played back alone give its digests at every update" ||
        fail "node $PLAYBACK's playback differs from update $(cmp "$d/digests.txt" "$d/playback.txt" | sed 's/.*line //')"
fi
echo "menugame: $(($(date +%s) - start)) s in all"
[ "$status" = 0 ] && echo "menugame: every node in the game to its end, digests equal"
exit "$status"
