#!/usr/bin/env bash
# Runs a command while the local HTTPS test server for the update check runs:
#
#   tests/support/with-https-test-server.sh command [arguments...]
#
# Starts tests/support/https_test_server.py on 127.0.0.1 with a fresh
# certificate authority in a temporary directory, hands the command the
# server's description (ports, CA files, request log; one line of JSON) in
# HP_TEST_HTTPS, passes the command's exit status through, and stops the
# server and removes the directory afterwards. The Windows test program
# reaches the server from under Wine this way.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

if (($# < 1)); then
    echo "usage: $0 command [arguments...]" >&2
    exit 2
fi

dir="$(mktemp -d "${TMPDIR:-/tmp}/hp-https.XXXXXX")"
coproc SERVER { exec /usr/bin/python3 "$here/https_test_server.py" "$dir" 2>"$dir/server.log"; }
server_pid=$SERVER_PID
server_in=${SERVER[1]}
server_out=${SERVER[0]}
stop() {
    exec {server_in}>&-  # the server ends when its input closes
    for _ in $(seq 1 50); do
        kill -0 "$server_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
    rm -rf "$dir"
}

if ! IFS= read -r -t 120 -u "$server_out" description || [[ -z $description ]]; then
    echo "with-https-test-server: the server did not start:" >&2
    cat "$dir/server.log" >&2
    stop
    exit 1
fi
export HP_TEST_HTTPS="$description"

# The command keeps no end of the server's pipes (so the server sees its
# input close even while processes the command left behind live on).
"$@" {server_in}>&- {server_out}<&-
status=$?
stop
exit "$status"
