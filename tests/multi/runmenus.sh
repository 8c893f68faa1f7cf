#!/bin/sh
# Runs test nodes at the multiplayer menus, each under a page script, and
# checks what they saw and wrote.
# Usage: runmenus.sh NETNODE RUNDIR BASE TIMEOUT SCRIPTS CASE NAME...
# Node I runs SCRIPTS/CASE-I.txt (@BASE@ replaced) as player NAME I at
# 127.BASE.0.(I + 1), in a directory made as `make run NODE=k` makes one,
# its book listing "Alpha" at node 0's address (node 2's starts empty).
# SCENARIO names the map the configurations start on, UPDATES the digests
# each node writes (100), NODEARGS go to every node and NODEOPTS
# ("I:--option:value ...") to node I.
set -u
if [ "${QV_NETNS:-}" != "1" ]; then
    exec sh "$(dirname "$0")/../scripts/netns-run.sh" sh "$0" "$@"
fi
node=$1 rundir=$2 base=$3 timeout=$4 scripts=$5 case=$6
shift 6
work=$(mktemp -d "${TMPDIR:-/tmp}/menus.XXXXXX")
srvpid=""
trap '[ -n "$srvpid" ] && kill "$srvpid" 2>/dev/null; [ "${KEEP:-0}" = 1 ] && echo "kept $work" || rm -rf "$work"' EXIT
# The staging and online cases play their game on the eight-player map.
scenario=DUEL
[ "$case" = staging ] || [ "$case" = online ] && scenario=MELEE
# SCENARIO names another start map of the run directory's MULTI folder;
# UPDATES bounds the game (a game that ends sooner stops at its end).
scenario=${SCENARIO:-$scenario}
# The options of node I.
options() {
    out=""
    for e in ${NODEOPTS:-}; do
        case "$e" in "$1":*) rest=${e#*:}; out="$out ${rest%%:*} ${rest#*:}" ;; esac
    done
    echo "$out"
}
# The online case meets at the meeting server ($MEETSRV) on 127.BASE.0.100,
# two lobby rooms, its default port.
if [ "$case" = online ]; then
    "$MEETSRV" --address "127.$base.0.100" --port 2626 --lobbies 2 --port-file "$work/port" > "$work/server.txt" 2>&1 &
    srvpid=$!
    t=0
    while [ ! -s "$work/port" ] && [ "$t" -lt 50 ]; do sleep 0.1; t=$((t + 1)); done
    [ -s "$work/port" ] || { echo "the meeting server did not start"; cat "$work/server.txt"; exit 1; }
fi
# RELAY (a pty relay, given RELAYARGS) joins the nodes' serial lines: node
# I's SetSerialPorts names the I-th end.
# MODEMEMU (the modem emulator) does the same for SetModemPorts, and node 0's
# phone book lists "Bravo".
relaypid="" portkey=SetSerialPorts
[ -n "${MODEMEMU:-}" ] && RELAY=$MODEMEMU && portkey=SetModemPorts
if [ -n "${RELAY:-}" ]; then
    $RELAY --ports "$work/ports" ${RELAYARGS:-} > "$work/relay.txt" &
    relaypid=$!
    t=0
    while [ ! -s "$work/ports" ] && [ "$t" -lt 50 ]; do sleep 0.1; t=$((t + 1)); done
fi
pids="" i=0
for name in "$@"; do
    d="$work/node$i"
    mkdir -p "$d"
    sed -e 's/^\( *SetEntryPoint *\).*/\1MULTI/' -e 's/^\( *SetStartCategory *\).*/\1MULTI/' \
        -e 's/^\( *SetStartScenario *\).*/\1"'"$scenario"'"/' -e "s/^\\( *SetPlayerName *\\).*/\\1\"$name\"/" \
        -e 's/^\( *EnableDiagnostics.*\)/\1\n    EnableSetup      1/' \
        -e "s/^\\( *SetZephnetServer *\\).*/\\1\"127.$base.0.100\"/" "$rundir/quorvex.cfg" > "$d/quorvex.cfg"
    if [ -n "$relaypid" ]; then
        line=$(sed -n "$((i + 1))p" "$work/ports")
        sed -i "s|^\( *$portkey *\).*|\1\"$line\"|" "$d/quorvex.cfg"
    fi
    if [ "$i" = 2 ] && [ "$case" = udp ]; then
        printf 'INTERNET ADDRESSES:\n\nPHONE ADDRESSES:\n' > "$d/Address.txt"
    else
        printf 'INTERNET ADDRESSES:\nAlpha\n127.%s.0.1\n\nPHONE ADDRESSES:\n' "$base" > "$d/Address.txt"
    fi
    [ "$case" = modem ] && [ "$i" = 0 ] && printf 'Bravo\n5551234\n' >> "$d/Address.txt"
    sed "s/@BASE@/$base/g" "$scripts/$case-$i.txt" > "$d/script.txt"
    ln -s "$rundir/data" "$d/data"
    ln -s "$rundir/scenario" "$d/scenario"
    (cd "$d" && exec timeout -s KILL "$timeout" "$node" --node "$i" --nodes "$#" --base "$base" \
        --updates "${UPDATES:-100}" ${NODEARGS:-} $(options "$i") --menus script.txt > out.txt 2>&1) &
    pids="$pids $!"
    i=$((i + 1))
done
failed=0 i=0
for p in $pids; do
    if ! wait "$p"; then
        echo "node $i failed"
        failed=1
    fi
    i=$((i + 1))
done
if [ -n "$srvpid" ]; then
    kill -TERM "$srvpid"
    wait "$srvpid"
    srvpid=""
    sed 's/^/[server] /' "$work/server.txt"
fi
[ -n "$relaypid" ] && kill -TERM "$relaypid" && wait "$relaypid"
i=0
for name in "$@"; do
    echo "---- node $i ($name)"
    cat "$work/node$i/out.txt" "$work/node$i/pages.txt" 2>/dev/null
    grep -q "Multi Menu has shutdown." "$work/node$i/quorvex.log" || { echo "node $i: no shutdown line"; failed=1; }
    i=$((i + 1))
done
# What the scripts typed stayed: Bravo's new name, Charlie's new entry.
if [ "$case" = udp ]; then
    grep -q 'SetPlayerName *"Bravo"' "$work/node1/quorvex.cfg" || { echo "node 1: name not stored"; failed=1; }
    grep -q "^127.$base.0.1\$" "$work/node2/Address.txt" || { echo "node 2: entry not written"; failed=1; }
fi
# The serial page kept each node's line and speed, written once.
if [ "$case" = serial ]; then
    for i in 0 1; do
        line=$(sed -n "$((i + 1))p" "$work/ports")
        [ "$(grep -c "SetPort *\"$line\"" "$work/node$i/quorvex.cfg")" = 1 ] &&
            [ "$(grep -c "SetBaud" "$work/node$i/quorvex.cfg")" = 1 ] ||
            { echo "node $i: SetPort or SetBaud not written once"; failed=1; }
    done
fi
# Each modem node wrote the modem it chose, and logged its call's status lines.
if [ "$case" = modem ]; then
    for i in 0 1; do
        line=$(sed -n "$((i + 1))p" "$work/ports")
        grep -q "SetModem *\"$line\"" "$work/node$i/quorvex.cfg" || { echo "node $i: SetModem not written"; failed=1; }
        grep -o "Modem status: .*" "$work/node$i/quorvex.log" | sed "s/^/[node $i] /"
    done
fi
# A launched game: every node played the same updates alike.
if [ "$case" = staging ] || [ "$case" = options ] || [ "$case" = serial ] || [ "$case" = online ] || [ "$case" = modem ]; then
    for i in $(seq 0 $(($# - 1))); do
        # A node kicked before the launch plays no game.
        grep -q ChatKickedOut "$scripts/$case-$i.txt" && continue
        grep -o "Staging row.*\|Updating the game\|Launched team.*\|Team [0-9] start units.*" "$work/node$i/quorvex.log" |
            sed "s/^/[node $i] /"
        grep -o "Launched team.*" "$work/node$i/quorvex.log" > "$work/t$i"
        cmp -s "$work/t0" "$work/t$i" || { echo "node $i: other teams at launch"; failed=1; }
        cat "$work/node$i/summary.txt" 2>/dev/null
        head -n 100 "$work/node$i/digests.txt" > "$work/d$i" 2>/dev/null
        [ "$(wc -l < "$work/d$i")" = 100 ] || { echo "node $i: fewer than 100 updates"; failed=1; }
        cmp -s "$work/d0" "$work/d$i" || { echo "node $i: digests differ"; failed=1; }
    done
    [ "$failed" = 0 ] && echo "digests equal"
fi
[ "$failed" = 0 ] && echo "menus: every node did its part"
exit "$failed"
