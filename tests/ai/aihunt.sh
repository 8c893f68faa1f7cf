#!/bin/sh
# The long-game hunt: plays the seeds' games (aihunt/aihunt.cpp), one
# process each, JOBS (4) at once, each bounded by TIMEOUT seconds (900, or
# 3600 with --san) and a game that outlives it counted a hang.
# Usage: aihunt.sh FIRST COUNT [--san] [aihunt options]   (seeds FIRST .. FIRST + COUNT - 1)
#        aihunt.sh --seeds "S ..." [--san] [aihunt options]
# --san plays the sanitizer build's aihunt (build-san), else the release
# build's (build); AIHUNT names another. The options after go to every game
# (--no-stop, --updates N, ...). Prints one line a game, then the counts and
# each failing seed with the command that plays it again; a failed game's
# output stays in LOGDIR (aihunt-logs). Fails when any game does.
set -u
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" = --one ]; then
    # One game: its line, its output kept when it failed.
    seed=$2
    shift 2
    log="$LOGDIR/$seed.log"
    timeout "$TIMEOUT" "$AIHUNT" "$seed" "$@" >"$log" 2>&1
    rc=$?
    head=$(head -n 1 "$log" | sed 's/^seed [0-9]*: //')
    end=$(sed -n 's/^end [a-z]*: //p' "$log")
    if [ $rc -eq 0 ] && grep -q '^end ok: ' "$log"; then
        echo "ok $seed | $head | $end"
        rm -f "$log"
        exit 0
    fi
    # Every check that failed, the crash or the fatal error, and the
    # sanitizers' report, which names the fault more closely than a signal.
    what=$(sed -n 's/^FAIL //p' "$log" | paste -sd ';' -)
    san=$(grep -m 1 -o 'ERROR: AddressSanitizer: [a-z-]*\|runtime error: .*' "$log")
    [ $rc -eq 124 ] && what="${what:+$what; }hang (over $TIMEOUT s)"
    [ -n "$san" ] && what="${what:+$what; }$san"
    grep -q '^closing' "$log" && [ -z "$end" ] && what="$what (at the close)"
    [ -z "$what" ] && what="exit $rc"
    echo "FAILED $seed | $head | $what | ${end:+$end | }replay: $AIHUNT $seed $*"
    exit 1
fi
if [ "${1:-}" = --seeds ]; then
    seeds=$2
    shift 2
else
    [ $# -ge 2 ] || { echo "usage: aihunt.sh FIRST COUNT [--san] [options] | --seeds \"S ...\" [--san] [options]" >&2; exit 64; }
    seeds=$(seq "$1" $(($1 + $2 - 1)))
    shift 2
fi
build=build timeout=900
if [ "${1:-}" = --san ]; then
    build=build-san timeout=3600
    shift
fi
AIHUNT=${AIHUNT:-$here/../../$build/tests/aihunt}
TIMEOUT=${TIMEOUT:-$timeout} LOGDIR=${LOGDIR:-aihunt-logs}
mkdir -p "$LOGDIR"
export AIHUNT TIMEOUT LOGDIR
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TMPDIR=$(mktemp -d "${TMPDIR:-/tmp}/aihunt.XXXXXX")
trap 'rm -rf "$TMPDIR"' EXIT
start=$(date +%s)
out="$TMPDIR/lines"
echo $seeds | tr ' ' '\n' | xargs -P "${JOBS:-4}" -I{} sh "$here/aihunt.sh" --one {} "$@" | tee "$out"
games=$(grep -c '' "$out") failed=$(grep -c '^FAILED' "$out")
echo "aihunt: $games games, $((games - failed)) passed, $failed failed in $(($(date +%s) - start)) s"
# The totals of the games that reached their close.
sed -n 's/.*| \([0-9]*\) updates, \([0-9]*\) orders.*purchase \([0-9]*\), credits locked \([0-9]*\), crews off every list \([0-9]*\), teams with no usable crew \([0-9]*\).*/\1 \2 \3 \4 \5 \6/p' "$out" |
    awk '{u += $1; o += $2; s += $3; l += $4; f += $5; n += $6; if ($1 >= 20000) long++}
         END {printf "  %d games closed: %d updates (%d games to 20000), %d orders; crews stopped holding a purchase %d, credits locked %d, crews off every list %d, teams with no usable crew %d\n", NR, u, long, o, s, l, f, n}'
grep '^FAILED' "$out" | sed 's/^/  /'
[ "$failed" -eq 0 ]
