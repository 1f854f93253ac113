#!/usr/bin/env bash
# The host's mDNS advertisement through a real avahi-daemon, read back by an
# independent browser (python3-zeroconf) on another machine's network.
#
#   avahi_netns_test.sh <hp_mdns_advertise> <browse.py>
#
# Two network namespaces of our own, joined by a veth pair that is created
# inside them (it never appears on the machine's own network):
#   A: 10.231.0.1/24 (LAN), 100.101.1.2 and fd7a:115c:a1e0::5 (Tailscale
#      ranges), fd12::1 (IPv6 LAN); a private D-Bus, avahi-daemon with a
#      private /run, and hp_mdns_advertise.
#   B: 10.231.0.2/24 and the browser.
# Exit 77 (skipped) without root or network namespaces. Every namespace and
# process started here is removed on every way out.
set -uo pipefail

advertise=${1:?hp_mdns_advertise}
browse=${2:?browse.py}

skip() { echo "SKIPPED: $*"; exit 77; }
die() { echo "FAILED: $*"; exit 1; }

[[ $(id -u) -eq 0 ]] || skip "the mDNS namespace test needs root (network namespaces, a private avahi-daemon)"
for tool in ip unshare dbus-daemon avahi-daemon /usr/bin/python3; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh installs it)"
done
/usr/bin/python3 -c 'import zeroconf' 2>/dev/null || die "python3-zeroconf is missing (scripts/install-deps.sh installs it)"

ns_a="hpmdnsA$$"
ns_b="hpmdnsB$$"
work=$(mktemp -d /tmp/hp-mdns-XXXXXX)
pids=()

cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        for _ in $(seq 50); do kill -0 "${pids[i]}" 2>/dev/null || break; sleep 0.1; done
        kill -9 "${pids[i]}" 2>/dev/null
        wait "${pids[i]}" 2>/dev/null
    done
    ip netns del "$ns_a" 2>/dev/null
    ip netns del "$ns_b" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

if ! ip netns add "$ns_a" 2>"$work/netns.err"; then
    skip "network namespaces are unavailable here: $(cat "$work/netns.err")"
fi
ip netns add "$ns_b" || die "cannot create a second namespace"

# The veth pair is made inside A, its peer moved straight into B.
ip -n "$ns_a" link add veA type veth peer name veB netns "$ns_b" || die "cannot create the veth pair"
ip -n "$ns_a" link set lo up
ip -n "$ns_b" link set lo up
ip -n "$ns_a" addr add 10.231.0.1/24 dev veA
ip -n "$ns_a" addr add 100.101.1.2/32 dev veA
ip -n "$ns_b" addr add 10.231.0.2/24 dev veB
expected_addresses='"10.231.0.1", "100.101.1.2"'
if ip -n "$ns_a" addr add fd12::1/64 dev veA nodad 2>/dev/null &&
    ip -n "$ns_a" addr add fd7a:115c:a1e0::5/128 dev veA nodad 2>/dev/null; then
    expected_addresses+=', "fd12::1", "fd7a:115c:a1e0::5"'
else
    echo "note: no IPv6 in the namespaces; IPv4 addresses only"
fi
ip -n "$ns_a" link set veA up
ip -n "$ns_b" link set veB up

# A private system bus for the daemon and its client.
cat >"$work/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>system</type>
  <listen>unix:path=$work/system_bus_socket</listen><auth>EXTERNAL</auth>
  <policy context="default"><allow user="*"/><allow own="*"/>
    <allow send_type="method_call"/><allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/><allow receive_type="method_return"/>
    <allow receive_type="error"/><allow receive_type="signal"/></policy>
</busconfig>
EOF
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/system_bus_socket"
ip netns exec "$ns_a" dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile --nosyslog \
    >"$work/dbus.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -S $work/system_bus_socket ]] && break; sleep 0.05; done
[[ -S $work/system_bus_socket ]] || die "the private D-Bus did not start: $(cat "$work/dbus.log")"

cat >"$work/avahi.conf" <<EOF
[server]
host-name=hpmdns$$
use-ipv4=yes
use-ipv6=no
allow-interfaces=veA
enable-dbus=yes
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
publish-domain=no
publish-resolv-conf-dns-servers=no
publish-aaaa-on-ipv4=no
[reflector]
enable-reflector=no
EOF
# avahi-daemon's pid file and socket live at fixed places under /run: a
# private mount namespace gets a /run of its own. Each step execs, so $! is
# the daemon itself.
ip netns exec "$ns_a" unshare --mount --propagation private sh -c \
    "mount -t tmpfs -o mode=755 tmpfs /run && exec avahi-daemon --no-drop-root --no-chroot --no-rlimits -f '$work/avahi.conf'" \
    >"$work/avahi.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -qs "Server startup complete" "$work/avahi.log" && break; sleep 0.1; done
grep -q "Server startup complete" "$work/avahi.log" || die "avahi-daemon did not start: $(cat "$work/avahi.log")"

name="Büro PC_2"
host_id="6f1c2d3e-4b5a-4c6d-8e7f-0a1b2c3d4e5f"
port=49182
key="3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c"

ip netns exec "$ns_a" "$advertise" --name "$name" --id "$host_id" --port "$port" --key "$key" \
    >"$work/advertise.out" 2>"$work/advertise.err" &
advertise_pid=$!
pids+=($advertise_pid)
for _ in $(seq 250); do
    grep -qs "^registered" "$work/advertise.out" && break
    kill -0 "$advertise_pid" 2>/dev/null || break
    sleep 0.1
done
grep -q "^registered" "$work/advertise.out" ||
    die "nothing registered: $(cat "$work/advertise.out" "$work/advertise.err")"
echo "A: $(head -n 1 "$work/advertise.out")"

expect=$(cat <<EOF
{"instance": "$name", "server": "B-ro-PC-2.local.", "addresses": [$expected_addresses], "port": $port,
 "key": "$key",
 "txt": {"v": "1", "id": "$host_id", "name": "$name", "os": "windows", "ts": "100.101.1.2:$port"}}
EOF
)
ip netns exec "$ns_b" /usr/bin/python3 "$browse" "$expect" 30 >"$work/browse.out" 2>"$work/browse.err" &
browse_pid=$!
pids+=($browse_pid)
for _ in $(seq 300); do grep -qsE "^(found|mismatch|nothing)" "$work/browse.out" && break; sleep 0.1; done
cat "$work/browse.out"
grep -q "^found" "$work/browse.out" || die "the browser in B did not see the expected service: $(cat "$work/browse.err")"

# The host withdraws its service when it ends: B sees it go.
kill -TERM "$advertise_pid"
wait "$advertise_pid"
advertise_status=$?
wait "$browse_pid"
browse_status=$?
cat "$work/browse.out" | tail -n +2
[[ $advertise_status -eq 0 ]] || die "hp_mdns_advertise ended with $advertise_status: $(cat "$work/advertise.err")"
[[ $browse_status -eq 0 ]] || die "B did not see the service withdrawn"
echo "PASSED"
