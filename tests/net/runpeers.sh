#!/bin/sh
# Starts N pktpeer processes on 127.B.0.1 .. 127.B.0.N, each sending to all
# the others, and waits for every one; fails unless each ended by itself with
# "ok". Usage: runpeers.sh PKTPEER TRANSPORT N B RELIABLE PLAIN TIMEOUT
# All the peers share one network namespace of their own (see netns-run.sh).
set -u
if [ "${QV_NETNS:-}" != "1" ]; then
    exec sh "$(dirname "$0")/../scripts/netns-run.sh" sh "$0" "$@"
fi
peer=$1 transport=$2 n=$3 b=$4 reliable=$5 plain=$6 timeout=$7
pids=""
i=1
while [ "$i" -le "$n" ]; do
    others=""
    j=1
    while [ "$j" -le "$n" ]; do
        [ "$j" -ne "$i" ] && others="${others:+$others,}127.$b.0.$j"
        j=$((j + 1))
    done
    "$peer" --transport "$transport" --self "127.$b.0.$i" --peers "$others" \
        --reliable "$reliable" --plain "$plain" --timeout "$timeout" --run "$$" &
    pids="$pids $!"
    i=$((i + 1))
done
status=0
for p in $pids; do
    wait "$p" || status=1
done
exit $status
