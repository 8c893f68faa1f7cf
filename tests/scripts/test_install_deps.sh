#!/bin/sh
# scripts/install-deps against a stand-in package manager: a held package lock
# is waited for (bounded), any other failure stops at once.
# Usage: test_install_deps.sh path/to/install-deps
script=$1
fail=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"

# Every package is missing; we are root; apt-get fails as $work/plan says,
# one line a call ("lock", "broken" or "ok"), "ok" once the plan runs out.
cat >"$work/bin/dpkg-query" <<'X'
#!/bin/sh
exit 1
X
cat >"$work/bin/id" <<'X'
#!/bin/sh
echo 0
X
cat >"$work/bin/apt-get" <<X
#!/bin/sh
n=\$(cat "$work/calls" 2>/dev/null || echo 0)
n=\$((n + 1))
echo \$n >"$work/calls"
case \$(sed -n "\${n}p" "$work/plan") in
lock) echo "E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 7 (apt)"; exit 100 ;;
broken) echo "E: Unable to locate package zlib1g-dev"; exit 100 ;;
*) echo "apt-get \$*" ;;
esac
X
chmod +x "$work/bin/"*

# name | apt-get's answers | lock wait (s) | expected exit | expected calls | text expected
while IFS='|' read -r name plan wait want calls text; do
    printf '%s\n' $plan >"$work/plan"
    rm -f "$work/calls"
    out=$(PATH="$work/bin:$PATH" INSTALL_DEPS_LOCK_WAIT=$wait INSTALL_DEPS_LOCK_POLL=0 \
        sh "$script" 2>&1)
    rc=$?
    got=$(cat "$work/calls")
    if [ "$rc" != "$want" ] || [ "$got" != "$calls" ]; then
        echo "FAIL $name: exit $rc (want $want), $got apt-get runs (want $calls)"
        fail=1
    fi
    case $out in
    *"$text"*) ;;
    *) echo "FAIL $name: no [$text] in:"; echo "$out"; fail=1 ;;
    esac
done <<'T'
lock released while waiting|lock lock ok ok|5|0|4|holds the lock; waiting
lock held during update and install|ok lock ok|5|0|3|apt-get install -y
lock never released|lock lock lock lock lock lock lock lock|3|100|4|still held after 3 s
other failure is not retried|broken|5|100|1|Unable to locate package
T
exit $fail
