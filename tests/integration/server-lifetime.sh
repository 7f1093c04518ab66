#!/usr/bin/env bash
# The test server must not outlive the run that started it: it exits when its owner process
# ends, and after its lifetime even if the owner lives on.
set -euo pipefail
server="$1/scripts/olap-server.sh"
state="$2"

gone_within() { # SECONDS: true once the server is no longer running
    local i
    for ((i = 0; i < $1 * 5; i++)); do
        "$server" status "$state" >/dev/null 2>&1 || return 0
        sleep 0.2
    done
    return 1
}

sleep 600 &
owner=$!
trap 'kill $owner 2>/dev/null || true; "$server" stop "$state" >/dev/null' EXIT

OLAP_SERVER_OWNER=$owner "$server" start "$state"
kill $owner
gone_within 15 || { echo "FAIL: the server outlived its owner"; exit 1; }
grep -q "owner $owner is gone" "$state/server.log"

OLAP_SERVER_OWNER=$$ OLAP_SERVER_LIFETIME=12 "$server" start "$state"
"$server" status "$state"
gone_within 40 || { echo "FAIL: the server outlived its lifetime"; exit 1; }
grep -q "lifetime of 12 s is over" "$state/server.log"
echo "PASS"
