#!/bin/sh
# Plays one network game between netnode processes and checks it.
# Usage: runnetgame.sh NETNODE RUNDIR TRANSPORT NODES BASE UPDATES TIMEOUT [I:--option:value ...]
# RUNDIR is a run directory of the demo (data, scenario, quorvex.cfg); each
# node gets a directory of its own beside the others. The entries after the
# time-out give process I an option (--kill-at:150, --stop-at:100, ...).
# Processes killed or interrupted are lost; the stopped ones are lost to the
# others, resumed once a node has dropped them, and come back alone; but one
# given --stop-ms too, or --stops (stalls shorter than the drop limits: it
# resumes itself), is a survivor, whose digests count with the others'.
# Every other process (a survivor) must reach the bound with the same digest
# at every update as the others, no node may log "Out of sync", and when a
# node was lost every survivor must disable the same teams at the same
# updates. With PLAYBACK=1 the first survivor's recording is played back
# single-player and must give its digests. NODEARGS go to every process.
# TIMEOUT bounds a stall, not the run: the nodes are stopped when none of
# them has written a digest or a log line for that many seconds. A loaded
# machine stretches a game (its frames come as seldom as the processor lets
# them; the drop limits count the clock, but a frame for 16 steps at
# most), a hung one stops it. A run longer than four stalls is stopped all
# the same.
# TRANSPORT serial: two nodes on the two ends of RELAY (a ptyrelay program,
# given RELAYARGS), each node's port its end's path. TRANSPORT modem: the
# same with RELAY a modem emulator, each node's port its modem.
# NODROP=1: no node may drop another (no log may say "will be dropped").
# ONLOG=PATTERN: once a node's log has the line, the process that is node
# KILLNODE (1 by default; each writes its number and pid to sessionnode.txt) is
# killed (ONLOGSIG=INT: interrupted, so that it quits as asked). A process
# killed or interrupted so, or killed by --kill-at with --kill-if-node (it
# writes killed.txt), is lost.
# CREATORLIVES=1: process 0, the creator, is lost nowhere: no survivor may
# disable its team (0) before the bound (as a forged takeover taken would).
# INORDER=1: the guests join one after the other, in process order, so
# that process I is node I (each guest writes joined.txt once it is in).
# NOTALONE=1: no survivor may go on alone (a split game ends each alone).
# MAXWAIT=MS: no survivor may wait longer than MS between two updates (a
# creator's departure handed on within seconds, not at the drop limits).
# BEFOREJOIN: a command run once process 0's network is up, before the
# others start (a flood the creator must ride out). JOINTRIES=K: each guest
# must be in within K tries of its join (a second each; the guests log
# their tries), else the nodes are stopped. FAULTSEEDS="S ...": one game
# per seed side by side, each in a namespace of its own with the seed in
# QUORVEX_NETFAULTS, their reports one after the other; fails when any does.
# STARVED=1: every node and one busy loop are pinned to one core (the
# base's, modulo the cores), so that the nodes get the processor in turns
# with a process that never waits; the loop is killed when the nodes end.
# A game no node got into (no node wrote a digest: a join or the launch
# failed) fails as "the game never started", and nothing else is checked.
# UPDATES "end": the nodes play to the game's end, which every survivor
# must reach (the node left last too, alone or not), with the same digests.
# RUNS=K plays K such games at once, each in a network namespace of its own,
# on bases BASE to BASE + K - 1 (other orders, other faults); all must pass.
# LOAD=K: K busy loops beside the nodes, on any core, for the game's length
# (a loaded machine: the nodes' threads wait for the processor in turns).
# OLDNODE=PATH: the processes of OLDPROCS ("0" by default) run that netnode,
# an older build, the others NETNODE (one game between two builds).
# A failed game keeps its nodes' directories (logs, digests, summaries, each
# process's output and exit status): under LOGDIR when given, else where
# they were; the report's last line says where. KEEP=1 keeps them whatever
# the end. A game that never started says, for each process, how far it got
# (no log, not in, in but not launched, launched but no update) and its
# log's last lines. Each node's datagrams dropped at a full receive ring are
# reported, counted (the node's count at exit, where it logs one) and as
# logged (the rate-limited lines with their summaries).
set -u
if [ -n "${FAULTSEEDS:-}" ]; then
    runs=$(mktemp -d "${TMPDIR:-/tmp}/netseeds.XXXXXX")
    for s in $FAULTSEEDS; do
        (FAULTSEEDS="" QV_NETNS="" QUORVEX_NETFAULTS="${QUORVEX_NETFAULTS%,*},$s" sh "$0" "$@" > "$runs/$s" 2>&1
         echo $? > "$runs/$s.rc") &
    done
    wait
    status=0
    for s in $FAULTSEEDS; do
        cat "$runs/$s"
        [ "$(cat "$runs/$s.rc")" = 0 ] || { echo "FAIL: the game with fault seed $s"; status=1; }
    done
    rm -rf "$runs"
    exit $status
fi
if [ "${RUNS:-1}" -gt 1 ]; then
    out=$(mktemp -d "${TMPDIR:-/tmp}/netgames.XXXXXX")
    trap 'rm -rf "$out"' EXIT
    node=$1 rundir=$2 transport=$3 n=$4 base=$5
    shift 5
    runs=$RUNS i=0 pids=""
    while [ "$i" -lt "$runs" ]; do
        RUNS=1 QV_NETNS=0 sh "$0" "$node" "$rundir" "$transport" "$n" $((base + i)) "$@" > "$out/run$i" 2>&1 &
        pids="$pids $!"
        i=$((i + 1))
    done
    failed=0 i=0
    for p in $pids; do
        wait "$p" || failed=$((failed + 1))
        echo "run $i (base $((base + i))):"
        sed 's/^/  /' "$out/run$i"
        i=$((i + 1))
    done
    echo "NetGame: $((runs - failed)) of $runs runs passed"
    [ "$failed" -eq 0 ]
    exit
fi
if [ "${QV_NETNS:-}" != "1" ]; then
    exec sh "$(dirname "$0")/../scripts/netns-run.sh" sh "$0" "$@"
fi
node=$1 rundir=$2 transport=$3 n=$4 base=$5 updates=$6 timeout=$7
shift 7
# The nodes' bound: to the end, one the game never gets to.
bound=$updates
[ "$updates" = end ] && bound=1000000
work=$(mktemp -d "${TMPDIR:-/tmp}/netgame.XXXXXX")
busy="" status=1
# A game that failed, or was cut short, keeps its logs: a fault seen once
# under load may not come again.
finish() {
    [ -n "$busy" ] && kill $busy 2>/dev/null
    if [ "${KEEP:-0}" = 1 ]; then
        echo "kept $work"
    elif [ "$status" = 0 ]; then
        rm -rf "$work"
    elif [ -n "${LOGDIR:-}" ] && mkdir -p "$LOGDIR" && mv "$work" "$LOGDIR/"; then
        echo "NetGame: the nodes' logs are kept in $LOGDIR/${work##*/}"
    else
        echo "NetGame: the nodes' logs are kept in $work"
    fi
}
trap finish EXIT
trap 'for p in ${pids:-}; do kill -TERM "$p" 2>/dev/null; done; exit 1' INT TERM HUP
# What played it, for a failed game's logs.
{
    for v in NODEARGS QUORVEX_NETFAULTS STARVED LOAD OLDNODE OLDPROCS MAXWAIT NOTALONE INORDER NODROP CREATORLIVES CLOCK; do
        eval "[ -n \"\${$v:-}\" ] && printf '%s=%s ' $v \"\$$v\""
    done
    echo "sh $0 $*"
} > "$work/command.txt"

# The options of process I.
options() {
    out=""
    for e in $extra; do
        case "$e" in "$1":*) rest=${e#*:}; out="$out ${rest%%:*} ${rest#*:}" ;; esac
    done
    echo "$out"
}
extra="$*"

# CLOCK=N (not 0): the demo's east base holds out for N updates, not 2700,
# so that the game ends sooner; the nodes' data is the run directory's but
# for that end condition file.
data="$rundir/data"
if [ "${CLOCK:-0}" != 0 ]; then
    data="$work/data"
    mkdir -p "$data/aip"
    for f in "$rundir"/data/*; do [ "$(basename "$f")" = aip ] || ln -s "$f" "$data/"; done
    for f in "$rundir"/data/aip/*; do [ "$(basename "$f")" = DEMO1.END ] || ln -s "$f" "$data/aip/"; done
    sed "s/CritTimerGame([0-9]*)/CritTimerGame($CLOCK)/" "$rundir/data/aip/DEMO1.END" > "$data/aip/DEMO1.END"
    grep -q "CritTimerGame($CLOCK)" "$data/aip/DEMO1.END" || { echo "FAIL: the demo has no game clock to set"; exit 1; }
fi

relaypid=""
if [ "$transport" = serial ] || [ "$transport" = modem ]; then
    ${RELAY:?RELAY names the pty relay} --ports "$work/ports" ${RELAYARGS:-} > "$work/relay.txt" &
    relaypid=$!
    t=0
    while [ ! -s "$work/ports" ] && [ "$t" -lt 50 ]; do sleep 0.1; t=$((t + 1)); done
fi
# The port of process I on the serial line.
port() { [ -n "$relaypid" ] && echo "--port $(sed -n "$(($1 + 1))p" "$work/ports")"; }

pin=""
if [ "${STARVED:-0}" = 1 ]; then
    core=$((base % $(nproc)))
    taskset -c "$core" sh -c 'while :; do :; done' &
    busy=$! pin="taskset -c $core"
    echo "NetGame: starved: the nodes and a busy loop on core $core ($(taskset -cp "$busy"))"
fi
if [ "${LOAD:-0}" -gt 0 ]; then
    k=0
    while [ "$k" -lt "$LOAD" ]; do
        sh -c 'while :; do :; done' &
        busy="$busy $!"
        k=$((k + 1))
    done
    echo "NetGame: loaded: $LOAD busy loops beside the nodes"
fi
# The netnode of process I.
binary() {
    if [ -n "${OLDNODE:-}" ]; then
        case " ${OLDPROCS:-0} " in *" $1 "*) echo "$OLDNODE"; return ;; esac
    fi
    echo "$node"
}
[ -n "${OLDNODE:-}" ] && echo "NetGame: process(es) ${OLDPROCS:-0} run the older build $OLDNODE"
pids="" i=0
while [ "$i" -lt "$n" ]; do
    d="$work/node$i"
    mkdir -p "$d"
    # The network's errors and warnings in each node's log, and with
    # JOINTRIES a guest's join tries.
    mono=""
    [ -n "${JOINTRIES:-}" ] && [ "$i" -gt 0 ] && mono='\n\1EnableMono 1'
    sed "s/^\( *\)EnableDiagnostics.*/&\n\1EnableNetErrors 1\n\1EnableNetWarnings 1$mono/" \
        "$rundir/quorvex.cfg" > "$d/quorvex.cfg"
    ln -s "$data" "$d/data"
    ln -s "$rundir/scenario" "$d/scenario"
    (cd "$d" && exec $pin timeout -k 5 -s KILL $((timeout * 4)) "$(binary "$i")" --node "$i" --nodes "$n" --base "$base" \
        --updates "$bound" --transport "$transport" --seed "$base" ${NODEARGS:-} $(port "$i") $(options "$i") \
        > "$d/output.txt" 2>&1) &
    pids="$pids $!"
    # INORDER=1: each guest joins once the one before is in, so that process
    # I is node I (a schedule then names the creator's successor).
    if [ "${INORDER:-0}" = 1 ] && [ "$i" -gt 0 ] && [ "$i" -lt $((n - 1)) ]; then
        t=0
        while [ ! -s "$d/joined.txt" ] && [ "$t" -lt 300 ]; do sleep 0.05; t=$((t + 1)); done
    fi
    if [ "$i" -eq 0 ] && [ -n "${BEFOREJOIN:-}" ]; then
        t=0
        while ! grep -q "Winsock Started Successfully" "$d/quorvex.log" 2>/dev/null && [ "$t" -lt 100 ]; do
            sleep 0.1
            t=$((t + 1))
        done
        sh -c "$BEFOREJOIN" > "$work/beforejoin.txt" 2>&1 || echo "exit $?" >> "$work/beforejoin.txt"
    fi
    i=$((i + 1))
done
# The nodes' output so far: it grows while any of them gets on.
progress() { wc -c "$work"/node*/digests.txt "$work"/node*/quorvex.log 2>/dev/null | tail -n 1; }
# A stopped process is resumed once another node has dropped it.
running=1 seen=-1 since=$(date +%s) stalled=0
while [ "$running" -eq 1 ]; do
    running=0
    for p in $pids; do kill -0 "$p" 2>/dev/null && running=1; done
    now=$(progress)
    if [ "$now" != "$seen" ]; then
        seen=$now since=$(date +%s)
    elif [ "$stalled" -eq 0 ] && [ $(($(date +%s) - since)) -ge "$timeout" ]; then
        stalled=1
        echo "NetGame: no node got on for $timeout s: stopping them"
        # timeout(1) passes the TERM on and kills 5 s later.
        for p in $pids; do kill -TERM "$p" 2>/dev/null; done
    fi
    if [ -n "${JOINTRIES:-}" ] && [ "$stalled" -eq 0 ]; then
        for f in "$work"/node*/quorvex.log; do
            c=$(grep -c "Attempting to connect" "$f" 2>/dev/null)
            if [ "${c:-0}" -gt "$JOINTRIES" ]; then
                stalled=1
                echo "NetGame: a guest was not in after $JOINTRIES tries of its join: stopping the nodes"
                for p in $pids; do kill -TERM "$p" 2>/dev/null; done
            fi
        done
    fi
    if [ -n "${ONLOG:-}" ] && [ -z "${onlogdone:-}" ] && grep -q "$ONLOG" "$work"/node*/quorvex.log 2>/dev/null; then
        onlogdone=1 k=0
        while [ "$k" -lt "$n" ]; do
            read -r sn spid < "$work/node$k/sessionnode.txt" 2>/dev/null || sn=""
            if [ "$sn" = "${KILLNODE:-1}" ]; then
                touch "$work/node$k/killed.txt"
                kill -"${ONLOGSIG:-KILL}" "$spid" 2>/dev/null
                echo "NetGame: \"$ONLOG\" logged: process $k (node $sn) sent SIG${ONLOGSIG:-KILL}"
            fi
            k=$((k + 1))
        done
    fi
    for f in "$work"/node*/stopped.pid; do
        [ -f "$f" ] || continue
        # A stall resumes itself.
        k=${f%/stopped.pid}
        case "$(options "${k##*/node}")" in *--stop-ms* | *--stops*) continue ;; esac
        if grep -q "will be dropped" "$work"/node*/quorvex.log 2>/dev/null; then
            kill -CONT "$(cat "$f")" 2>/dev/null
            rm -f "$f"
        fi
    done
    sleep 0.2
done
i=0
for p in $pids; do
    wait "$p"
    echo "$?" > "$work/node$i/exit.txt"
    i=$((i + 1))
done
if [ -n "$busy" ]; then
    kill $busy
    wait $busy 2>/dev/null
    busy=""
fi
if [ -n "$relaypid" ]; then
    kill -TERM "$relaypid"
    wait "$relaypid"
fi

status=0
fail() { echo "FAIL: $*"; status=1; }
# Process I played to the bound, or to the game's end.
reached() {
    if [ "$updates" = end ]; then
        grep -q " won (" "$work/node$1/quorvex.log" 2>/dev/null || fail "process $1 did not reach the game's end"
    else
        [ "$(wc -l < "$work/node$1/digests.txt")" -eq "$updates" ] || fail "process $1 did not reach the bound"
    fi
}
# Process I survived: to the bound with the first survivor's digests and
# drops.
survivor() {
    d="$work/node$1"
    survivors=$((survivors + 1))
    reached "$1"
    [ "${NOTALONE:-0}" = 1 ] && grep -q "alone from update" "$d/summary.txt" 2>/dev/null &&
        fail "process $1 went on alone"
    if [ -n "${MAXWAIT:-}" ]; then
        waited=$(sed -n 's/.*longest wait \([0-9]*\) ms.*/\1/p' "$d/summary.txt" 2>/dev/null)
        [ "${waited:-999999}" -le "$MAXWAIT" ] || fail "process $1 waited ${waited:-?} ms between two updates"
    fi
    # Up to the bound: past it the nodes leave one by one, each seen
    # leaving by those still there.
    grep "team disabled at update" "$d/quorvex.log" 2>/dev/null | sed 's/.*Team/Team/' |
        awk -v n="$bound" '$NF < n' > "$d/disabled.txt"
    if [ "${CREATORLIVES:-0}" = 1 ]; then
        grep -q "^Team 0's" "$d/disabled.txt" && fail "process $1 disabled the creator's team"
    fi
    if [ -z "$first" ]; then
        first=$1
    else
        cmp -s "$work/node$first/digests.txt" "$d/digests.txt" ||
            fail "digests of processes $first and $1 differ from update" \
                "$(cmp "$work/node$first/digests.txt" "$d/digests.txt" | sed 's/.*line //')"
        cmp -s "$work/node$first/disabled.txt" "$d/disabled.txt" ||
            fail "processes $first and $1 disabled teams differently"
    fi
}
# How far process I got before the game: 0 no log, 1 a guest not in, 2 in
# (or the creator) but not launched, 3 launched but no update, 4 playing; the
# words to $stage.
stage() {
    d="$work/node$1"
    if [ ! -s "$d/quorvex.log" ]; then
        stage="wrote no log" rank=0
    elif [ "$1" -gt 0 ] && [ ! -s "$d/joined.txt" ]; then
        stage="not in: $(grep -c "Attempting to connect" "$d/quorvex.log") tries of its join logged" rank=1
    elif [ ! -s "$d/sessionnode.txt" ]; then
        stage="no launch" rank=2
        [ "$1" -eq 0 ] && stage="hosting: no launch"
    elif [ ! -s "$d/digests.txt" ]; then
        stage="launched, but no update" rank=3
    else
        stage="playing" rank=4
    fi
}
# Process I's datagrams dropped at a full receive ring: its own count at
# exit ($counted, empty when it logs none) and what its log's rate-limited
# lines and their summaries add up to ($logged).
ring() {
    d="$work/node$1"
    counted=$(cat "$d/quorvex.log" "$d/output.txt" "$d/summary.txt" 2>/dev/null |
        sed -n 's/.*Datagrams dropped at a full receive ring: \([0-9][0-9]*\).*/\1/p' | tail -n 1)
    logged=$(sed -n 's/.*Incoming buffer is full!: \([0-9][0-9]*\) more dropped.*/\1/p; s/.*Incoming buffer is full!$/1/p' \
        "$d/quorvex.log" 2>/dev/null | awk '{ n += $1 } END { print n + 0 }')
}
first="" survivors=0 lost=0 i=0 ringcounted=0 ringlogged=0 ringnodes=0
echo "NetGame: $n nodes over $transport, $updates updates, faults ${QUORVEX_NETFAULTS:-none}"
started=1
if ! grep -qs . "$work"/node*/digests.txt; then
    started=0
    fail "the game never started: no node got to its first update"
    # The processes that got least far held the others up.
    low=9 i=0
    while [ "$i" -lt "$n" ]; do
        stage "$i"
        [ "$rank" -lt "$low" ] && low=$rank
        i=$((i + 1))
    done
    i=0
    while [ "$i" -lt "$n" ]; do
        stage "$i"
        [ "$rank" -eq "$low" ] && echo "  process $i did not get on: $stage, exit $(cat "$work/node$i/exit.txt" 2>/dev/null)"
        i=$((i + 1))
    done
    i=0
fi
if [ -f "$work/beforejoin.txt" ]; then
    sed 's/^/  /' "$work/beforejoin.txt"
    grep -q "^exit " "$work/beforejoin.txt" && fail "the command before the join failed"
fi
[ -n "$relaypid" ] && sed 's/^/  /' "$work/relay.txt"
while [ "$i" -lt "$n" ]; do
    d="$work/node$i" o=$(options "$i")
    s=$(cat "$d/summary.txt" 2>/dev/null || echo "no summary (ended early)")
    echo "  process $i:$o $s"
    x=$(cat "$d/exit.txt" 2>/dev/null)
    [ "${x:-0}" = 0 ] || echo "    exit $x"
    sed -n '1,10s/^/    output: /p' "$d/output.txt" 2>/dev/null
    ring "$i"
    ringcounted=$((ringcounted + ${counted:-0})) ringlogged=$((ringlogged + logged))
    [ -n "$counted" ] && ringnodes=$((ringnodes + 1))
    [ "${counted:-0}" -gt 0 ] || [ "$logged" -gt 0 ] &&
        echo "    full receive ring: ${counted:-?} datagrams dropped (counted), $logged (logged)"
    if [ "$started" = 0 ]; then
        stage "$i"
        if [ -s "$d/quorvex.log" ]; then
            echo "    before the game: $stage; its log's last lines:"
            tail -n 6 "$d/quorvex.log" | sed 's/^/      /'
        else
            echo "    before the game: $stage"
        fi
        i=$((i + 1))
        continue
    fi
    # A node left alone says when its last round runs.
    grep -h "Out of the game" "$d/quorvex.log" 2>/dev/null | sed 's/.*Out of/    out of/'
    grep -q "Out of sync" "$d/quorvex.log" 2>/dev/null && fail "process $i: out of sync"
    [ "${NODROP:-0}" = 1 ] && grep -q "will be dropped" "$d/quorvex.log" 2>/dev/null &&
        fail "process $i: $(grep -m 1 "will be dropped" "$d/quorvex.log")"
    if [ -n "${JOINTRIES:-}" ] && [ "$i" -gt 0 ]; then
        tries=$(grep -c "Attempting to connect" "$d/quorvex.log" 2>/dev/null)
        echo "    tries of its join: ${tries:-0}"
        [ "${tries:-0}" -gt 0 ] && [ "$tries" -le "$JOINTRIES" ] || fail "process $i was not in within $JOINTRIES tries"
    fi
    [ -f "$d/killed.txt" ] && o="$o --kill-at"
    # A game that ended before a process's kill or quit: it played to the
    # end like the others.
    at=$(echo "$o" | sed -n 's/.*--\(kill\|int\)-at \([0-9][0-9]*\).*/\2/p')
    upto=$(sed -n 's/.*updates \([0-9][0-9]*\),.*/\1/p' "$d/summary.txt" 2>/dev/null)
    [ -n "$at" ] && [ -n "$upto" ] && [ "$upto" -lt "$at" ] && [ ! -f "$d/killed.txt" ] && o="${o%%--*}"
    case "$o" in
    *--kill-at* | *--int-at*) lost=$((lost + 1)) ;;
    *--stop-at*--stop-ms* | *--stop-ms*--stop-at* | *--stops*) survivor "$i" ;;
    *--stop-at*)
        lost=$((lost + 1))
        grep -q "alone from update" "$d/summary.txt" 2>/dev/null || fail "process $i did not go on alone"
        reached "$i"
        ;;
    *) survivor "$i" ;;
    esac
    i=$((i + 1))
done
if [ "$lost" -gt 0 ] && [ "$survivors" -gt 1 ]; then
    [ -s "$work/node$first/disabled.txt" ] || fail "no team was disabled"
    sed 's/^/  /' "$work/node$first/disabled.txt"
fi
if [ "$survivors" -eq 1 ] && [ "$n" -eq 2 ]; then
    grep -q "alone from update" "$work/node$first/summary.txt" || fail "the last node did not go on alone"
fi
if [ "${PLAYBACK:-0}" = "1" ] && [ -n "$first" ]; then
    d="$work/node$first"
    team=$(sed 's/.*(team \([0-9]*\)).*/\1/' "$d/summary.txt")
    cycles=$(sed 's/.*UnitCycles \([0-9]*\),.*/\1/' "$d/summary.txt")
    (cd "$d" && timeout -s KILL "$timeout" "$node" --node "$team" --nodes "$n" --base "$base" \
        --updates "$bound" --playback "$d/orders.rec" --cycles "$cycles")
    cmp -s "$d/digests.txt" "$d/playback.txt" &&
        echo "  the recording of process $first played back single-player gives its digests" ||
        fail "the playback differs from update $(cmp "$d/digests.txt" "$d/playback.txt" | sed 's/.*line //')"
fi
echo "NetGame: full receive ring: $ringcounted datagrams dropped (counted on $ringnodes of $n nodes), $ringlogged (logged)"
[ "$status" -eq 0 ] && echo "NetGame: $survivors surviving nodes, digests equal"
exit $status
