#!/bin/sh
# Two machines on the two ends of a noisy null-modem cable (a pty relay):
# they meet through the serial page, launch from the staging page and play
# the demo scenario to its end in lock step.
# Usage: serialpair.sh NETNODE MKDATA RELAY RUNDIR MENUS
# RUNDIR is the demo's run directory, MENUS the folder of runmenus.sh and
# its page scripts. The staging page offers the multiplayer maps only, so
# the demo scenario is copied into the multiplayer category of a run
# directory made here, and mkdata writes its summary.
# Checks: both nodes wrote the same digest after every update up to the
# game's end, logged the same winner (each from its own side) and no loss
# of synchrony.
set -u
node=$1 mkdata=$2 relay=$3 rundir=$4 menus=$5
work=$(mktemp -d "${TMPDIR:-/tmp}/serialpair.XXXXXX")
kept=""
trap 'rm -rf "$work"; [ -n "$kept" ] && rm -rf "$kept"' EXIT
run=$work/run
mkdir -p "$run/scenario/MULTI"
ln -s "$rundir/data" "$run/data"
cp "$rundir/quorvex.cfg" "$run/quorvex.cfg"
for c in "$rundir"/scenario/*; do
    [ "$(basename "$c")" = MULTI ] || ln -s "$c" "$run/scenario/"
done
for m in "$rundir"/scenario/MULTI/*; do ln -s "$m" "$run/scenario/MULTI/"; done
cp -r "$rundir/scenario/SINGLE/DEMO" "$run/scenario/MULTI/DEMO"
"$mkdata" seeds mmsummary "$run/scenario/MULTI/DEMO" || { echo "no summary for the demo scenario"; exit 1; }

# The bound lies past the demo's end: the game stops at its end.
KEEP=1 SCENARIO=DEMO UPDATES=6000 RELAY=$relay RELAYARGS="--seed 10 --noise 3 --loss 1 --split 10" \
    sh "$menus/runmenus.sh" "$node" "$run" 30 120 "$menus/scripts" serial Alpha Bravo > "$work/menus.txt" 2>&1
status=$?
kept=$(sed -n 's/^kept //p' "$work/menus.txt")
grep -v "^\[node [01]\] Staging row" "$work/menus.txt"
[ "$status" = 0 ] || { echo "the menus' run failed"; exit 1; }
[ -n "$kept" ] || { echo "the menus' run left nothing to look at"; exit 1; }

failed=0
for i in 0 1; do
    d=$kept/node$i
    grep -o "Team [0-9] won (.*)" "$d/quorvex.log" > "$work/won$i" || { echo "node $i: no winner"; failed=1; }
    sed "s/^/[node $i] /" "$work/won$i"
    grep -q "Out of sync" "$d/quorvex.log" && { echo "node $i: out of sync"; failed=1; }
    tail -n 1 "$d/digests.txt" | sed "s/^/[node $i] last digest: /"
done
cmp -s "$kept/node0/digests.txt" "$kept/node1/digests.txt" || { echo "the digests differ"; failed=1; }
# The demo ends when its clock runs out, after about 2700 updates.
updates=$(wc -l < "$kept/node0/digests.txt")
[ "$updates" -ge 2000 ] || { echo "the game ended after $updates updates"; failed=1; }
# One winner, which only its own node calls "That's you".
w0=$(cut -c1-10 "$work/won0") w1=$(cut -c1-10 "$work/won1")
[ "$w0" = "$w1" ] || { echo "the nodes name different winners"; failed=1; }
[ "$(cat "$work/won0" "$work/won1" | grep -c "That's you")" = 1 ] || { echo "not one node won"; failed=1; }
[ "$failed" = 0 ] && echo "serial pair: the demo played to its end, $updates updates, digests equal at every one"
exit "$failed"
