#!/usr/bin/env bash
# The console host names the address a phone can reach: in private user,
# network and mount namespaces of their own, three adapters (veth pairs made
# inside the namespace; nothing appears on the machine's own network):
#   wsl0  172.20.5.5/20, up, no route but its own (a virtual switch like WSL's)
#   lan0  192.168.77.5/24, up, the default route via 192.168.77.1
#   off0  10.9.9.9/24, down
#   cold0 10.7.7.7/24, up but without a link (its peer is down: no carrier)
# The pairing link's lan= and the first `endpoints` address must be
# 192.168.77.5; 10.9.9.9 and 10.7.7.7 must not appear at all (the sorted
# order of old would have put 10.7.7.7, then 10.9.9.9, then 172.20.5.5 first).
#
#   tests/e2e/console_reach_test.sh path/to/hearthpad-console
#
# Exit 77 (skipped) where user and network namespaces or veth pairs are not
# available. HP_REACH_TEST_VERBOSE=1 shows the console's output and the
# namespace's addresses and routes also when every check passes.
#
# To check more console commands: run_console LABEL [--until REGEX] LINE...
# gives what the console wrote; line_of picks a line by its prefix; expect_eq,
# expect_contains and expect_absent record failures.
set -uo pipefail

if [[ ${HP_REACH_TEST_INSIDE:-} != 1 ]]; then
    if ! unshare --user --map-root-user --net --mount true 2>/dev/null; then
        echo "SKIPPED: no user and network namespaces here"
        exit 77
    fi
    exec unshare --user --map-root-user --net --mount \
        env HP_REACH_TEST_INSIDE=1 bash "${BASH_SOURCE[0]}" "$@"
fi

console="${1:?path to hearthpad-console}"
work="$(mktemp -d "${TMPDIR:-/tmp}/hp-console-reach.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0

# ---------------------------------------------------------------- the network
# /sys/class/net of this namespace (the adapter kinds are read there).
mount -t sysfs sysfs /sys 2>/dev/null || echo "note: /sys not remounted; adapter kinds read from the outer one"
ip link set lo up
for pair in wsl0 lan0 off0 cold0; do
    if ! ip link add "$pair" type veth peer name "${pair}p" 2>"$work/veth.err"; then
        echo "SKIPPED: cannot create veth pairs here: $(cat "$work/veth.err")"
        exit 77
    fi
done
ip addr add 172.20.5.5/20 dev wsl0
ip addr add 192.168.77.5/24 dev lan0
ip addr add 10.9.9.9/24 dev off0
ip addr add 10.7.7.7/24 dev cold0
ip link set wsl0p up
ip link set wsl0 up
ip link set lan0p up
ip link set lan0 up
ip link set cold0 up  # cold0p stays down: no carrier, so not running
ip route add default via 192.168.77.1 dev lan0 || { echo "FAILED: cannot add the default route"; exit 1; }
# The veth carriers come up shortly after the links.
for _ in $(seq 1 50); do
    [[ $(cat /sys/class/net/wsl0/carrier 2>/dev/null) == 1 && $(cat /sys/class/net/lan0/carrier 2>/dev/null) == 1 ]] &&
        break
    sleep 0.1
done

# ------------------------------------------------------------------- helpers
# run_console LABEL [--until REGEX] LINE...
# Starts the console host (no mDNS) with a data folder of its own, waits for
# its "listening:" line, sends each LINE on standard input, with --until
# waits (30 s at most) for a line matching REGEX, then quits it and prints
# everything it wrote on standard output. Its standard error is kept in
# $work/data-LABEL/stderr.
run_console() {
    local label="$1" until="" line output=""
    shift
    if [[ ${1:-} == --until ]]; then
        until="$2"
        shift 2
    fi
    local data="$work/data-$label"
    mkdir -p "$data"
    coproc CONSOLE {
        RC_DATA_DIR="$data" HEARTHPAD_KEY_DIR="$data/keys" COMPUTERNAME="Reach Test" \
            exec "$console" --no-mdns 2>"$data/stderr"
    }
    local pid=$CONSOLE_PID in=${CONSOLE[1]} out=${CONSOLE[0]}
    while IFS= read -r -t 30 -u "$out" line; do
        output+="$line"$'\n'
        [[ $line == listening:* ]] && break
    done
    local command
    for command in "$@"; do
        echo "$command" >&"$in"
    done
    if [[ -n $until ]]; then
        while IFS= read -r -t 30 -u "$out" line; do
            output+="$line"$'\n'
            [[ $line =~ $until ]] && break
        done
    fi
    echo quit >&"$in"
    exec {in}>&-
    while IFS= read -r -t 30 -u "$out" line; do
        output+="$line"$'\n'
    done
    wait "$pid" 2>/dev/null
    printf '%s' "$output"
}

# line_of OUTPUT PREFIX: the first line of OUTPUT that starts with PREFIX.
line_of() {
    local line
    while IFS= read -r line; do
        if [[ $line == "$2"* ]]; then
            printf '%s' "$line"
            return 0
        fi
    done <<<"$1"
    return 1
}

expect_eq() {  # WHAT GOT EXPECTED
    if [[ $2 == "$3" ]]; then
        echo "ok: $1: $2"
    else
        echo "FAILED: $1: got \"$2\", expected \"$3\"" >&2
        failures=$((failures + 1))
    fi
}

expect_contains() {  # WHAT TEXT PART
    if [[ $2 == *"$3"* ]]; then
        echo "ok: $1 contains $3"
    else
        echo "FAILED: $1: \"$2\" lacks \"$3\"" >&2
        failures=$((failures + 1))
    fi
}

expect_absent() {  # WHAT TEXT PART
    if [[ $2 != *"$3"* ]]; then
        echo "ok: $1 without $3"
    else
        echo "FAILED: $1: \"$2\" names \"$3\"" >&2
        failures=$((failures + 1))
    fi
}

# --------------------------------------------------------------------- cases
output="$(run_console reach pair endpoints check)"
listening="$(line_of "$output" "listening: ")"
port="${listening#listening: }"
if [[ ! $port =~ ^[0-9]+$ ]]; then
    echo "FAILED: the console did not start; it wrote:" >&2
    printf '%s\n' "$output" >&2
    cat "$work/data-reach/stderr" >&2
    exit 1
fi

link="$(line_of "$output" "link: ")"
lan_param=""
[[ $link =~ [?\&]lan=([^\&]*) ]] && lan_param="${BASH_REMATCH[1]}"
expect_eq "the pairing link's lan=" "$lan_param" "192.168.77.5%3A$port"

endpoints="$(line_of "$output" "lan: ")"
expect_eq "the first LAN endpoint" "$(cut -d, -f1 <<<"${endpoints#lan: }")" "192.168.77.5:$port"
expect_contains "the LAN endpoints" "$endpoints" "172.20.5.5:$port"
expect_absent "the console's output (adapter down)" "$output" "10.9.9.9"
expect_absent "the console's output (adapter without a link)" "$output" "10.7.7.7"

# The connection check: the address with the router is the one found; the
# firewall rows are this machine's own (firewalld, ufw or neither, each a fact
# or unknown; their cases are tested with recorded answers elsewhere).
lan_check="$(line_of "$output" "check: lan_address ")"
expect_contains "the check's LAN address line" "$lan_check" "check: lan_address ok "
expect_contains "the check's LAN address" "$lan_check" "192.168.77.5"
expect_contains "the check's gateway line" "$(line_of "$output" "check: gateway ")" "check: gateway ok "
for id in network_profile firewall_program firewall_block_all; do
    line="$(line_of "$output" "check: $id ")"
    if [[ $line =~ ^check:\ $id\ (ok|problem|unknown)\ . ]]; then
        echo "ok: the check's $id line"
    else
        echo "FAILED: the check's $id line: \"$line\" has no state and text"
        failures=$((failures + 1))
    fi
done
expect_contains "the check's advertisement line" "$(line_of "$output" "check: advertisement ")" \
    "check: advertisement "

if ((failures > 0)) || [[ -n ${HP_REACH_TEST_VERBOSE:-} ]]; then
    echo "the console wrote:" >&2
    printf '%s\n' "$output" >&2
    echo "the namespace's addresses and routes:" >&2
    ip -br addr >&2
    ip route >&2
fi
exit $((failures > 0))
