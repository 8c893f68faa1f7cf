#!/bin/sh
# A failure sweep: plays network games, each with a schedule of failures
# drawn from its own seed, and checks each as runnetgame.sh does.
# Usage: netsweep.sh NETNODE RUNDIR FIRST COUNT   (games FIRST .. FIRST + COUNT - 1)
#        netsweep.sh NETNODE RUNDIR --seeds "S ..." (those games again)
# A game's seed gives everything: 4 to 8 nodes, joining in process order
# (process I is node I; INORDER=0 lets them race, as the sweep's first games
# did); 0, 10 or 30 % of the datagrams a node receives faulted (the seed is
# the faults' seed too); one to three events,
# each a process quitting (--int-at), killed (--kill-at) or stalled for 1 to
# 6 s (--stop-at with --stop-ms: shorter than the drop limit at the 4 ms
# frame step, so a survivor), the first at update 100 to 200 and each next
# 0 to 8 updates after the one before, to three processes (the creator,
# process 0, among them); at least two processes never quit nor die. One
# game in four also has node 1, the creator's successor, send one guest a
# takeover of the live creator (--forge-takeover-at, near the events; the
# creator then meets no event), which must be refused ("unsent" counts the
# games where node 1 had quit or died by then). Every survivor
# (stalled ones too) must reach update 400 with equal digests and equal
# drops, none alone, none waiting longer than MAXWAIT ms between two updates
# (32000: the takeover limit, two chain steps and the drop limit at 4 ms a
# frame step; a takeover limit more where node 1 or 2, lost after the
# creator, may have taken its role first), and where the creator lives no
# survivor may drop it.
# Those are the games of seeds below 10000. A seed from 10000 on draws its
# nodes and faults alike, then one of five kinds: stalls through the whole
# game ("stalls": three to six stalls of 0.2 to 3 s, --stops, some right
# around the death of a guest or the creator, played to the game's end);
# a starved game ("starved": the events above with STARVED=1, every node
# and a busy loop on one core, its waits not held to MAXWAIT but reported
# apart); a forged takeover, then 0 to 800 updates later the creator killed,
# quitting or stalled for 8 to 12 s (half to three quarters of the takeover
# limit: it stays the creator) ("forge+creator-..."); a guest past node 1
# sending node 1 a LEAVE and playing on (--forge-leave-at), then 100 to
# 1400 updates later the creator killed or quitting ("forged-leave+..."):
# that guest must stay in; or 60 forged takeovers 0.1 s apart at 30 %
# faults, the creator living ("forge-copies", played to 400 updates past
# the first, "unsent" where the 60th did not go out). Those with a late
# event play to 300 updates past it.
# A seed from 20000 on is loaded ("loaded"): drawn as the seeds below 10000,
# then one to three busy loops a node beside the game's nodes (runnetgame.sh's
# LOAD), started with the game and killed at its end; held to MAXWAIT like
# the others. LOAD=K loads every game so, K loops beside each. A seed from
# 30000 on mixes builds and needs OLDNODE, an older build's netnode: its
# nodes and faults drawn alike, then the creator on the older build and the
# guests on this one ("old-creator"), or the reverse ("old-guests"), and one
# event at update 100 to 200, the creator or a guest quitting or killed
# (options both builds know); played to 400 like the first kind.
# A game where a node kept a round only when it came again, after the
# sender's next (acknowledged before but not kept), counts apart as
# "round-resent", its logs kept like a failed game's.
# JOBS games at once (7), each in a network namespace of its own; a failed
# game's nodes' directories, the runner's report and the command that plays
# it again go to LOGDIR/<seed>/ (LOGDIR: none kept when empty). Prints one
# line a game, then the counts, the longest wait and the failing seeds with
# their commands; fails when any game does. A game no node got into fails
# as "never-started", whatever else its nodes missed. Each game's line gives
# the datagrams its nodes dropped at a full receive ring, counted (where the
# nodes count them) and logged; the totals come after the counts.
set -u
# The nodes run in directories of their own: the paths made absolute.
node=$(cd "$(dirname "$1")" && pwd)/$(basename "$1") rundir=$(cd "$2" && pwd)
shift 2
runner="$(cd "$(dirname "$0")" && pwd)/runnetgame.sh"
if [ "$1" = --seeds ]; then
    seeds=$2
else
    seeds=$(seq "$1" $(($1 + $2 - 1)))
fi
jobs=${JOBS:-7} logdir=${LOGDIR:-} maxwait=${MAXWAIT:-32000} oldnode=${OLDNODE:-}
[ -n "$oldnode" ] && oldnode=$(cd "$(dirname "$oldnode")" && pwd)/$(basename "$oldnode")
for g in $seeds; do
    if [ "$g" -ge 30000 ] && [ ! -x "$oldnode" ]; then
        echo "netsweep: game $g mixes builds: OLDNODE must name an older build's netnode" >&2
        exit 2
    fi
done
out=$(mktemp -d "${TMPDIR:-/tmp}/netsweep.XXXXXX")
trap 'rm -rf "$out"' EXIT

# The seeded stream of a schedule: a linear congruential generator in the
# shell's own arithmetic, the same on every machine.
x=0
draw() { # draw N: sets r to 0 .. N - 1
    x=$(((x * 1103515245 + 12345) % 2147483648))
    r=$(((x / 65536) % $1))
}

# The schedule of game $1: sets nodes, pct, base, updates, env, args, desc,
# kinds, and sent (the line the forging node logs; empty: nothing forged).
schedule() {
    x=$(($1 % 2147483648))
    draw 7; draw 7
    draw 5; nodes=$((4 + r))
    draw 3; pct=$(echo "0 10 30" | cut -d' ' -f$((r + 1)))
    args="" desc="" kinds="" sent="" updates=400 starve=0 creatorlost=0 load=${LOAD:-0} old="" extrawait=0
    if [ "$1" -lt 10000 ]; then
        early
    elif [ "$1" -ge 30000 ]; then
        builds
    elif [ "$1" -ge 20000 ]; then
        early
        draw 3; load=$((nodes * (1 + r)))
    else
        draw 250; base=$((1 + r))
        draw 5
        case "$r" in
        0) stalls ;;
        1) starve=1 kinds=" starved"; early ;;
        2) forgethen ;;
        3) forgedleave ;;
        4) copies ;;
        esac
    fi
    env="NODEARGS=--frame-ms 4"
    if [ "$starve" = 1 ]; then env="$env;STARVED=1"; else env="$env;MAXWAIT=$((maxwait + extrawait))"; fi
    env="$env;NOTALONE=1;INORDER=${INORDER:-1}"
    [ "$creatorlost" = 0 ] && env="$env;CREATORLIVES=1"
    [ "$pct" != 0 ] && env="$env;QUORVEX_NETFAULTS=$pct,ldrbtw,$1"
    if [ "$load" -gt 0 ]; then
        env="$env;LOAD=$load" desc="$desc $load busy loops;" kinds=" loaded$kinds"
    fi
    [ -n "$old" ] && env="$env;OLDNODE=$oldnode;OLDPROCS=$old"
    return 0
}

# The creator on the older build and the guests on this one, or the reverse;
# one event at update 100 to 200: the creator or a guest quitting or killed.
builds() {
    draw 2
    if [ "$r" = 0 ]; then
        old=0 desc=" creator on the older build;" kinds=" old-creator"
    else
        old=$(seq -s ' ' 1 $((nodes - 1))) desc=" guests on the older build;" kinds=" old-guests"
    fi
    draw 101; at=$((100 + r))
    draw 250; base=$((1 + r))
    draw 2
    if [ "$r" = 0 ]; then p=0 who=creator creatorlost=1; else draw $((nodes - 1)); p=$((1 + r)) who=guest; fi
    draw 2; kind=$(echo "quit kill" | cut -d' ' -f$((r + 1)))
    opt=--int-at
    [ "$kind" = kill ] && opt=--kill-at
    args=" $p:$opt:$at" desc="$desc $who $p $kind@$at;" kinds="$kinds ${kinds# }+$who-$kind"
}

# Node 1's forged takeover at update $1 (with $2: that many copies), given
# to every guest: the one that is node 1 forges.
forgeargs() {
    p=1
    while [ "$p" -lt "$nodes" ]; do
        args="$args $p:--forge-takeover-at:$1"
        [ $# -gt 1 ] && args="$args $p:--forge-copies:$2"
        p=$((p + 1))
    done
}

# One to three events near update 100 to 200, and in one game in four a
# takeover forged near them.
early() {
    draw 3; events=$((1 + r))
    draw 4; forge=$((r == 0))
    draw 101; at=$((100 + r))
    draw 250; base=$((1 + r))
    taken=" " lostcount=0 creatorat=-1
    e=0
    while [ "$e" -lt "$events" ]; do
        # A process not yet given an event; not the creator in a forge game.
        while :; do
            draw "$nodes"; p=$r
            [ "$forge" = 1 ] && [ "$p" = 0 ] && continue
            case "$taken" in *" $p "*) continue ;; esac
            break
        done
        taken="$taken$p "
        [ "$e" -gt 0 ] && { draw 9; at=$((at + r)); }
        draw 3; kind=$(echo "quit kill stall" | cut -d' ' -f$((r + 1)))
        # Two processes at least stay in the game.
        if [ "$kind" != stall ] && [ $((lostcount + 1)) -gt $((nodes - 2)) ]; then kind=stall; fi
        who=guest
        [ "$p" = 0 ] && who=creator
        case "$kind" in
        quit) args="$args $p:--int-at:$at" lostcount=$((lostcount + 1)) ;;
        kill) args="$args $p:--kill-at:$at" lostcount=$((lostcount + 1)) ;;
        stall)
            draw 51; ms=$((1000 + r * 100))
            args="$args $p:--stop-at:$at $p:--stop-ms:$ms"
            kind="stall ${ms}ms"
            ;;
        esac
        [ "$p" = 0 ] && [ "${kind%% *}" != stall ] && creatorlost=1 creatorat=$at
        # A successor lost after the creator may first take its role and
        # die before its word is out: the next one takes the role a second
        # takeover limit later (16 s at 4 ms a frame step).
        if [ "$creatorat" -ge 0 ] && [ "$p" -le 2 ] && [ "$p" -gt 0 ] && [ "${kind%% *}" != stall ]; then
            extrawait=16000
        fi
        desc="$desc $who $p $kind@$at;"
        kinds="$kinds $who-${kind%% *}"
        e=$((e + 1))
    done
    if [ "$forge" = 1 ]; then
        draw 31; f=$((at - 20 + r))
        forgeargs "$f"
        desc="$desc forged takeover@$f;"
        kinds="$kinds forge"
        sent="forged takeover sent"
    fi
}

# A guest, or in one game in three the creator, killed or quitting at update
# 150 to 2400, and three to six stalls of 0.2 to 3 s of the other
# processes, each at update 100 to 2600 or, one in two, within 6 updates of
# that death; played to the game's end.
stalls() {
    draw 3
    if [ "$r" = 0 ]; then
        victim=0 who=creator creatorlost=1
    else
        draw $((nodes - 1)); victim=$((1 + r)) who=guest
    fi
    draw 2; kind=$(echo "quit kill" | cut -d' ' -f$((r + 1)))
    draw 2251; death=$((150 + r))
    opt=--int-at
    [ "$kind" = kill ] && opt=--kill-at
    args=" $victim:$opt:$death" desc=" $who $victim $kind@$death;" kinds=" stalls stalls+$who-$kind"
    p=0
    while [ "$p" -lt "$nodes" ]; do eval "stops$p=''"; p=$((p + 1)); done
    draw 4; n=$((3 + r))
    while [ "$n" -gt 0 ]; do
        draw "$nodes"; p=$r
        [ "$p" = "$victim" ] && continue
        draw 2
        if [ "$r" = 0 ]; then draw 13; at=$((death - 6 + r)); else draw 2501; at=$((100 + r)); fi
        draw 29; ms=$((200 + r * 100))
        eval "stops$p=\"\$stops$p,$at:$ms\""
        desc="$desc process $p stall ${ms}ms@$at;"
        n=$((n - 1))
    done
    p=0
    while [ "$p" -lt "$nodes" ]; do
        eval "list=\$stops$p"
        [ -n "$list" ] && args="$args $p:--stops:${list#,}"
        p=$((p + 1))
    done
    updates=end
}

# A takeover forged at update 100 to 200, then, 0 to 800 updates after it,
# the creator quitting, killed or stalled for 8 to 12 s.
forgethen() {
    draw 101; f=$((100 + r))
    draw 801; at=$((f + r))
    draw 3; kind=$(echo "quit kill stall" | cut -d' ' -f$((r + 1)))
    case "$kind" in
    quit) args=" 0:--int-at:$at" creatorlost=1 ;;
    kill) args=" 0:--kill-at:$at" creatorlost=1 ;;
    stall)
        draw 41; ms=$((8000 + r * 100))
        args=" 0:--stop-at:$at 0:--stop-ms:$ms"
        kind="stall ${ms}ms"
        ;;
    esac
    forgeargs "$f"
    desc=" forged takeover@$f; creator 0 $kind@$at;" kinds=" forge+creator-${kind%% *}"
    sent="forged takeover sent" updates=$((at + 300))
}

# A LEAVE forged at update 100 to 200 by a guest past node 1, which plays on;
# 100 to 1400 updates later the creator quits or is killed.
forgedleave() {
    draw 101; f=$((100 + r))
    draw $((nodes - 2)); k=$((2 + r))
    draw 1301; at=$((f + 100 + r))
    draw 2; kind=$(echo "quit kill" | cut -d' ' -f$((r + 1)))
    opt=--int-at
    [ "$kind" = kill ] && opt=--kill-at
    args=" 0:$opt:$at" creatorlost=1
    p=1
    while [ "$p" -lt "$nodes" ]; do
        args="$args $p:--forge-leave-at:$f $p:--forge-leave-if-node:$k"
        p=$((p + 1))
    done
    desc=" guest $k forged LEAVE@$f; creator 0 $kind@$at;" kinds=" forged-leave+creator-$kind"
    sent="forged LEAVE sent" updates=$((at + 300))
}

# Sixty takeovers forged 0.1 s apart from update 100 to 200 on, at 30 %
# faults; played to 400 updates past the first, so that all go out in the
# game ("unsent" where they did not).
copies() {
    pct=30
    draw 101; f=$((100 + r))
    forgeargs "$f" 60
    desc=" 60 forged takeovers from@$f;" kinds=" forge-copies"
    sent="forged takeover sent.*copy 60 of 60" updates=$((f + 400))
}

# The command that plays game $1 again (after schedule $1).
command_of() {
    echo "env '$(echo "$env" | sed "s/;/' '/g")' sh $runner $node $rundir udp $nodes $base $updates 60$args"
}

# Plays game $1; its line to $out/$1.line, its report to $out/$1.txt.
play() {
    g=$1
    schedule "$g"
    start=$(date +%s)
    (
        # The sweep's own LOAD and OLDNODE reach a game through its schedule.
        unset LOAD OLDNODE OLDPROCS
        IFS=';'
        for v in $env; do export "$v"; done
        unset IFS
        KEEP=1 LOGDIR="" RUNS=1 FAULTSEEDS="" sh "$runner" "$node" "$rundir" udp "$nodes" "$base" "$updates" 60 $args
    ) > "$out/$g.txt" 2>&1
    rc=$?
    secs=$(($(date +%s) - start))
    work=$(sed -n 's/^kept //p' "$out/$g.txt" | tail -n 1)
    wait=$(sed -n 's/.*longest wait \([0-9]*\) ms.*/\1/p' "$out/$g.txt" | sort -n | tail -n 1)
    # The forging node may have quit or died before its forgery.
    if [ -n "$sent" ] && ! grep -qs "$sent" "$work"/node*/quorvex.log; then
        kinds="$kinds unsent" desc="$desc (not sent);"
    fi
    # A round acknowledged but not kept where it went, sent again: counted
    # apart, the logs kept, whatever the game's end.
    if [ -n "$work" ] && grep -qs "acknowledged here but not kept" "$work"/node*/quorvex.log; then
        kinds="$kinds round-resent" desc="$desc round resent;"
    fi
    what=""
    if [ "$rc" != 0 ] && grep -q "the game never started" "$out/$g.txt"; then
        what=" never-started"
    elif [ "$rc" != 0 ]; then
        grep -q "differ from update" "$out/$g.txt" && what="$what digests"
        grep -q "went on alone\|did not go on alone" "$out/$g.txt" && what="$what alone"
        grep -q "ms between two updates" "$out/$g.txt" && what="$what wait"
        grep -q "did not reach the bound" "$out/$g.txt" && what="$what bound"
        grep -q "disabled teams differently\|no team was disabled" "$out/$g.txt" && what="$what drops"
        grep -q "creator's team" "$out/$g.txt" && what="$what creator-dropped"
        grep -q "out of sync" "$out/$g.txt" && what="$what out-of-sync"
        grep -q "no node got on" "$out/$g.txt" && what="$what hung"
        [ -n "$what" ] || what=" other"
    fi
    # The runner's full-ring line: "C datagrams dropped (counted on K of N
    # nodes), L (logged)".
    set -- $(sed -n 's/^NetGame: full receive ring: \([0-9]*\) .*counted on \([0-9]*\) of.*), \([0-9]*\) (logged)/\1 \2 \3/p' \
        "$out/$g.txt" | tail -n 1) 0 0 0
    echo "$1 $2 $3" > "$out/$g.ring"
    ring=""
    if [ "$2" -gt 0 ]; then ring=" full ring $1 counted, $3 logged,"; elif [ "$3" -gt 0 ]; then ring=" full ring $3 logged,"; fi
    echo "game $g: $nodes nodes, ${pct}% faults,$desc ${secs}s,$ring longest wait ${wait:-?} ms: $([ "$rc" = 0 ] && echo pass || echo "FAIL:$what")" \
        > "$out/$g.line"
    echo "$rc faults-$pct% nodes-$nodes$kinds" > "$out/$g.kinds"
    echo "${wait:-0}" > "$out/$g.wait"
    echo "$secs" > "$out/$g.secs"
    [ "$starve" = 1 ] && touch "$out/$g.starved"
    if { [ "$rc" != 0 ] || [ "${desc%round resent;}" != "$desc" ]; } && [ -n "$logdir" ] && [ -n "$work" ]; then
        rm -rf "${logdir:?}/$g"
        mkdir -p "$logdir/$g"
        for d in "$work"/node*; do cp -r "$d" "$logdir/$g/" 2>/dev/null; done
        cp "$out/$g.txt" "$logdir/$g/report.txt"
        cat "$out/$g.line" > "$logdir/$g/schedule.txt"
        command_of "$g" >> "$logdir/$g/schedule.txt"
        # The lines that tell what a node made of the failures.
        for d in "$logdir/$g"/node*; do
            echo "== ${d##*/}: $(head -n 1 "$d/summary.txt" 2>/dev/null)"
            grep -h "Stale SESSION\|will be dropped\|malformed report\|takes its role\|takeover taken\|No word from the creator\|Waiting for\|forged takeover\|Creator .* is silent\|new creator told\|drop of node .* moved\|Leaving with\|team disabled\|forged LEAVE\|stopped at update\|resumed after" \
                "$d/quorvex.log" 2>/dev/null | uniq -c | head -n 40
        done > "$logdir/$g/keylines.txt"
    fi
    [ -n "$work" ] && rm -rf "$work"
    echo "$rc" > "$out/$g.rc"
}

# JOBS lanes, each playing every JOBS-th game in turn; each game's line as
# it ends.
lane=0
for g in $seeds; do echo "$g" >> "$out/lane$lane"; lane=$(((lane + 1) % jobs)); done
for l in "$out"/lane*; do
    (while read -r g; do
        play "$g"
        cat "$out/$g.line"
    done < "$l") &
done
wait

# The starved games' waits apart: their clocks run while the core is elsewhere.
total=0 failed=0 longest=0 longestat="" starved=0 swait=0 swaitat="" ssecs=0
for g in $seeds; do
    total=$((total + 1))
    [ "$(cat "$out/$g.rc" 2>/dev/null)" = 0 ] || failed=$((failed + 1))
    w=$(cat "$out/$g.wait" 2>/dev/null || echo 0)
    if [ -f "$out/$g.starved" ]; then
        starved=$((starved + 1)) ssecs=$((ssecs + $(cat "$out/$g.secs")))
        [ "$w" -gt "$swait" ] && swait=$w swaitat=$g
    else
        [ "$w" -gt "$longest" ] && longest=$w longestat=$g
    fi
done
echo "NetSweep: $((total - failed)) of $total games passed; longest wait $longest ms (game $longestat)"
[ "$starved" -gt 0 ] &&
    echo "  starved games: $starved, longest wait $swait ms (game $swaitat), $((ssecs / starved)) s a game"
cat "$out"/*.ring | awk '{ c += $1; if ($2 > 0) { cg++; if ($1 > 0) cf++ } l += $3; if ($3 > 0) lf++ }
    END { printf "  full receive ring: %d datagrams dropped counted (in %d of the %d games that count), %d logged (in %d games)\n", c, cf, cg, l, lf }'
echo "  games failed of games with it:"
cat "$out"/*.kinds | awk '{ split("", seen); for (i = 2; i <= NF; i++) if (!($i in seen)) { seen[$i] = 1; n[$i]++; if ($1 != 0) f[$i]++ } }
    END { for (k in n) printf "    %s: %d of %d\n", k, f[k], n[k] }' | sort
for g in $seeds; do
    [ "$(cat "$out/$g.rc" 2>/dev/null)" = 0 ] && continue
    cat "$out/$g.line"
    grep "FAIL" "$out/$g.txt" | sed 's/^/  /'
    schedule "$g"
    echo "  again: $(command_of "$g")"
    [ -n "$logdir" ] && echo "  logs: $logdir/$g"
done
[ "$failed" -eq 0 ]
