#!/bin/sh
# Runs a command in a network namespace of its own, with only the loopback
# up, so that two test runs on one machine never meet: not their ports, not
# the emulated IPX's broadcasts. Every test of real processes over sockets
# goes through here. Where no namespace can be made (not root, no unshare or
# ip) it says so and runs the command on the shared loopback.
# Usage: netns-run.sh COMMAND [ARGS...]
set -u
if [ "${QV_NETNS:-}" = "1" ]; then
    exec "$@" # already inside one
fi
if command -v unshare >/dev/null 2>&1 && command -v ip >/dev/null 2>&1 &&
    unshare -n true 2>/dev/null; then
    QV_NETNS=1 exec unshare -n sh -c 'ip link set lo up && exec "$@"' netns-run "$@"
fi
echo "netns-run: no network namespace can be made here; running on the shared loopback" >&2
exec "$@"
