#!/bin/sh
# Traces a live node dropped while every other node held its round: reads a
# failed game's kept directories (runnetgame.sh's or netsweep.sh's LOGDIR),
# finds each node the creator dropped on "Timeout on RECV" although it was
# not killed, its last round R, what the others made of its round R, and,
# where the nodes traced their datagrams (QUORVEX_NETTRACE=1: datagrams.txt),
# the fate of its round R to each other node and of their acknowledgements:
# sent how often, taken from the receiver's socket (missing there: lost
# before it, at a full receive ring), kept past the faults, acknowledged.
# Usage: roundtrace.sh GAMEDIR [NODE]   (NODE: trace that node instead)
set -u
game=$1
# The directory of node N (its process's directory; sessionnode.txt says).
dirof() {
    for d in "$game"/node*; do
        read -r sn _ < "$d/sessionnode.txt" 2>/dev/null || continue
        [ "$sn" = "$1" ] && { echo "$d"; return; }
    done
}
# The process number of node N (its address's last byte less one).
procof() { d=$(dirof "$1"); echo "${d##*/node}"; }

if [ $# -gt 1 ]; then
    stuck=$2
else
    stuck=$(cat "$game"/node*/quorvex.log 2>/dev/null |
        sed -n 's/.*Timeout on RECV: Player \([0-9]*\) will be dropped.*/\1/p' | sort -u)
fi
[ -n "$stuck" ] || { echo "roundtrace: no node dropped on \"Timeout on RECV\" in $game"; exit 1; }
for s in $stuck; do
    sd=$(dirof "$s")
    [ -n "$sd" ] || { echo "node $s: no directory names it"; continue; }
    echo "== node $s (${sd##*/}): $(head -n 1 "$sd/summary.txt" 2>/dev/null)"
    [ -f "$sd/killed.txt" ] && echo "   killed by the run: not live"
    grep -h "Timeout on RECV: Player $s will\|Timeout on ACK: Player $s will" "$game"/node*/quorvex.log |
        sed 's/^/   at a creator: /' | sort | uniq -c
    r=$(sed -n 's/^Starting Round \([0-9]*\).*/\1/p' "$sd/quorvex.log" | tail -n 1)
    # The round the drop cut: the last one it started before the drop.
    echo "   its last round started: $r"
    next=$((r + 1))
    for d in "$game"/node*; do
        [ "$d" = "$sd" ] && continue
        read -r n _ < "$d/sessionnode.txt" 2>/dev/null || continue
        got=$(grep -c "Got \(Future \)\?Round $r from $s and" "$d/quorvex.log")
        started=$(grep -c "^Starting Round $next\$" "$d/quorvex.log")
        asked=$(grep -c "Expecting Round \[$r\] but got \[$next\] from NODE $n\$" "$sd/quorvex.log")
        echo "   node $n (${d##*/}): got its round $r: $got, started $next: $started; node $s logged $asked \"Expecting Round [$r] but got [$next]\" from it"
    done
    grep -h "Incoming buffer is full\|Datagrams dropped at a full" "$sd/quorvex.log" | sed 's/^/   its ring: /' | tail -n 3
    [ -s "$sd/datagrams.txt" ] || { echo "   no datagram trace (QUORVEX_NETTRACE=1)"; continue; }
    sp=${sd##*/node}
    echo "   its round $r, per node: ids, sends; at the node: from its socket, kept; acknowledgements sent; at $s: from its socket, kept"
    for d in "$game"/node*; do
        [ "$d" = "$sd" ] && continue
        read -r n _ < "$d/sessionnode.txt" 2>/dev/null || continue
        p=${d##*/node}
        # Ids node s sent its round r under to process p.
        ids=$(awk -v p="$p" -v s="$s" -v r="$r" '$2 == "S" && $3 == p && $4 == "ROUND*" && $5 == s && $6 == r { print $7 }' \
            "$sd/datagrams.txt" | sort -u | tr '\n' ' ')
        [ -n "$ids" ] || { echo "   node $n: none sent"; continue; }
        for id in $ids; do
            line=$(awk -v p="$p" -v sp="$sp" -v s="$s" -v id="$id" -v file2="$d/datagrams.txt" '
                FILENAME == file2 && $3 == sp && $4 == "ROUND*" && $5 == s && $7 == id { if ($2 == "R") pr++; if ($2 == "K") pk++ }
                FILENAME == file2 && $3 == sp && $4 == "ACK" && $7 == id && $2 == "S" { pa++; if (!pfirst) pfirst = $1 }
                FILENAME != file2 && $3 == p && $4 == "ROUND*" && $7 == id && $2 == "S" { ss++; if (!sfirst) sfirst = $1; slast = $1 }
                FILENAME != file2 && $3 == p && $4 == "ACK" && $7 == id { if ($2 == "R") ar++; if ($2 == "K") { ak++; if (!afirst) afirst = $1 } }
                END { printf "id %s: sent %d (%.1f s to the last), taken %d, kept %d, acknowledged %d; acks taken %d, kept %d%s",
                      id, ss, (slast - sfirst) / 1000, pr, pk, pa, ar, ak, ak ? sprintf(" (first %.1f s after the first send)", (afirst - sfirst) / 1000) : "" }' \
                "$sd/datagrams.txt" "$d/datagrams.txt")
            echo "   node $n: $line"
        done
    done
done
