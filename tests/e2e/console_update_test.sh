#!/usr/bin/env bash
# hearthpad-console's `update` command against a stand-in for the update
# server, run inside private user, network and mount namespaces: there only
# loopback exists, /etc/hosts names updates.hearthpad.app as 127.0.0.1 and the
# system's certificate bundle is the test's own authority. So the program runs
# as shipped (no switch of any kind) and nothing leaves the machine.
#
#   tests/e2e/console_update_test.sh path/to/hearthpad-console
set -uo pipefail

if [[ ${HP_UPDATE_TEST_INSIDE:-} != 1 ]]; then
    exec unshare --user --map-root-user --net --mount \
        env HP_UPDATE_TEST_INSIDE=1 bash "${BASH_SOURCE[0]}" "$@"
fi

console="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/hp-console-update.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0

ip link set lo up
printf '127.0.0.1 localhost\n127.0.0.1 updates.hearthpad.app\n' >"$work/hosts"
mount --bind "$work/hosts" /etc/hosts

# Starts the test server for one case on port 443 and makes its authority the
# system's bundle. Sets server_pid; the server stops when fd 7 closes.
start_server() {
    local dir="$work/server-$1"
    mkdir -p "$dir"
    exec 7> >(exec /usr/bin/python3 "$here/support/https_test_server.py" "$dir" \
        --case "$1" --port 443 --name updates.hearthpad.app >"$dir/description" 2>"$dir/log")
    server_pid=$!
    for _ in $(seq 1 600); do
        [[ -s $dir/description ]] && break
        sleep 0.1
    done
    if [[ ! -s $dir/description ]]; then
        echo "the test server did not start:" >&2
        cat "$dir/log" >&2
        exit 1
    fi
    mount --bind "$dir/ca.pem" /etc/ssl/certs/ca-certificates.crt
}

stop_server() {
    exec 7>&-
    wait "$server_pid" 2>/dev/null
    umount /etc/ssl/certs/ca-certificates.crt
}

# Runs the console with one `update`, waits for its line (30 s at most),
# quits, and compares the line with the expected one.
expect_update_line() {
    local label="$1" expected="$2" line=""
    local data="$work/data-$label"
    mkdir -p "$data"
    coproc CONSOLE {
        RC_DATA_DIR="$data" HEARTHPAD_KEY_DIR="$data/keys" COMPUTERNAME="Update Test" \
            exec "$console" 2>"$data/stderr"
    }
    local pid=$CONSOLE_PID in=${CONSOLE[1]} out=${CONSOLE[0]}
    echo update >&"$in"
    while IFS= read -r -t 30 -u "$out" line; do
        [[ $line == update:* ]] && break
        line=""
    done
    echo quit >&"$in"
    exec {in}>&-
    wait "$pid" 2>/dev/null
    if [[ $line == "$expected" ]]; then
        echo "ok: $label: $line"
    else
        echo "FAILED: $label: got \"$line\", expected \"$expected\"" >&2
        cat "$data/stderr" >&2
        failures=$((failures + 1))
    fi
}

start_server good
expect_update_line available \
    "update: 0.3.0 available at https://updates.hearthpad.app/download/hearthpad-0.3.0-win64.zip"
record="$(cat "$work/data-available/update_check.txt" 2>/dev/null)"
if [[ ! $record =~ ^[0-9]+$'\n'$ && ! $record =~ ^[0-9]+$ ]]; then
    echo "FAILED: update_check.txt holds \"$record\", expected the check time and an empty line" >&2
    failures=$((failures + 1))
fi
stop_server

start_server up_to_date
expect_update_line up_to_date "update: up to date (version 0.2.0)"
stop_server

start_server redirect_302
expect_update_line redirect "update: failed"
stop_server

expect_update_line no_server "update: failed"

exit $((failures > 0))
