#!/bin/sh
# Three clients meet through the meeting server, then two of them play the
# game they met in over UDP, and the run is checked.
# Usage: runmeet.sh MEETSRV NETNODE RUNDIR BASE UPDATES TIMEOUT
# The server listens on 127.BASE.0.100; client I runs at 127.BASE.0.(I + 1)
# in a directory of its own beside the others. Nodes 0 and 1 must reach the
# bound with the same digest at every update; node 2 only visits.
set -u
if [ "${QV_NETNS:-}" != "1" ]; then
    exec sh "$(dirname "$0")/../scripts/netns-run.sh" sh "$0" "$@"
fi
meetsrv=$1 node=$2 rundir=$3 base=$4 updates=$5 timeout=$6
work=$(mktemp -d "${TMPDIR:-/tmp}/netmeet.XXXXXX")
trap '[ "${KEEP:-0}" = 1 ] && echo "kept $work" || rm -rf "$work"' EXIT

"$meetsrv" --address "127.$base.0.100" --port-file "$work/port" > "$work/server.txt" 2>&1 &
srvpid=$!
t=0
while [ ! -s "$work/port" ] && [ "$t" -lt 50 ]; do sleep 0.1; t=$((t + 1)); done
[ -s "$work/port" ] || { echo "FAIL: the meeting server did not start"; cat "$work/server.txt"; exit 1; }
server="127.$base.0.100:$(cat "$work/port")"

pids="" i=0
while [ "$i" -lt 3 ]; do
    d="$work/node$i"
    mkdir -p "$d"
    sed 's/^\( *\)EnableDiagnostics.*/&\n\1EnableNetErrors 1\n\1EnableNetWarnings 1/' \
        "$rundir/quorvex.cfg" > "$d/quorvex.cfg"
    ln -s "$rundir/data" "$d/data"
    ln -s "$rundir/scenario" "$d/scenario"
    (cd "$d" && exec timeout -s KILL "$timeout" "$node" --node "$i" --nodes 2 --base "$base" \
        --updates "$updates" --transport udp --seed "$base" --meet "$server" --clients 3) &
    pids="$pids $!"
    i=$((i + 1))
done
status=0
for p in $pids; do wait "$p" || status=1; done
kill -TERM "$srvpid"
wait "$srvpid"

fail() { echo "FAIL: $*"; status=1; }
echo "NetMeet: three clients meet at $server, two play $updates updates over UDP"
sed 's/^/  /' "$work/server.txt"
for i in 0 1 2; do
    echo "  client $i: $(cat "$work/node$i/summary.txt" 2>/dev/null || echo "no summary (ended early)")"
    grep -q "meeting: ok" "$work/node$i/summary.txt" 2>/dev/null || fail "client $i did not meet the others"
done
for i in 0 1; do
    [ "$(wc -l < "$work/node$i/digests.txt")" -eq "$updates" ] || fail "node $i did not reach the bound"
    grep -q "Out of sync" "$work/node$i/quorvex.log" 2>/dev/null && fail "node $i: out of sync"
done
cmp -s "$work/node0/digests.txt" "$work/node1/digests.txt" ||
    fail "the digests differ from update $(cmp "$work/node0/digests.txt" "$work/node1/digests.txt" | sed 's/.*line //')"
[ "$status" -eq 0 ] && echo "NetMeet: digests equal at every update"
exit $status
