#!/usr/bin/env bash
# The desktop program on a virtual X display (Xvfb) and a private session
# bus, with stand-ins for the desktop's tray host (StatusNotifierWatcher) and
# notification server:
#   - with no tray host it runs and says, once, how to reach it;
#   - a tray host that appears later gets the icon;
#   - the item's properties, tooltip and menu read back with gdbus;
#   - menu clicks: "Start on Login" writes and removes the autostart entry,
#     "Pair New Device…" opens the pairing window, whose QR code, read from a
#     screenshot, gives the code the reference client pairs with; the window
#     then closes and the device shows in "Paired Devices";
#   - the paired client moves the pointer, types non-ASCII text into a real
#     X client, and sets and reads the clipboard against xclip;
#   - its "Remove Device" removes it, "Exit Hearthpad" ends the program;
#   - the icon follows the desktop portal's light or dark preference;
#   - a second start asks the running one to open the pairing window;
#   - SIGTERM ends it cleanly; a Wayland session is told what it lacks.
# Usage: desktop_test.sh <hearthpad> <hearthpad-client>
# Exit 77 (skipped) when Xvfb, xdotool, xclip, import or zbarimg is missing.
set -euo pipefail
for tool in Xvfb xdotool xclip import zbarimg dbus-daemon gdbus; do
    command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
program=$(realpath "$1")
client=$(realpath "$2")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
tmp=$(mktemp -d /tmp/hp-tray-test.XXXXXX)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    for f in "$tmp"/*.out "$tmp"/calls.jsonl; do [[ -f $f ]] && { echo "--- $f" >&2; cat "$f" >&2; }; done
    exit 1
}
# wait_for <seconds> <command...>: until the command succeeds.
wait_for() {
    local limit=$1
    shift
    local end=$((SECONDS + limit))
    until "$@"; do
        ((SECONDS < end)) || return 1
        sleep 0.1
    done
}
has() { grep -qF -- "$2" "$1" 2>/dev/null; }
xdpyinfo_ok() { DISPLAY=$1 xdotool getdisplaygeometry >/dev/null 2>&1; }

bus_pid=$(dbus-daemon --session --address="unix:path=$tmp/bus" --print-pid --fork)
pids+=("$bus_pid")
export DBUS_SESSION_BUS_ADDRESS="unix:path=$tmp/bus"
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$tmp/no-system-bus"
mkdir -p "$tmp/run" "$tmp/config" "$tmp/home" "$tmp/data"
chmod 700 "$tmp/run"
export XDG_RUNTIME_DIR="$tmp/run" XDG_CONFIG_HOME="$tmp/config" HOME="$tmp/home" RC_DATA_DIR="$tmp/data"
unset XDG_SESSION_TYPE XDG_CURRENT_DESKTOP || true

# A display of its own: the first number without a server.
display=""
for n in $(seq 140 199); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -nolisten tcp -screen 0 1280x800x24 >"$tmp/xvfb.out" 2>&1 &
    pids+=($!)
    if wait_for 10 xdpyinfo_ok ":$n" 2>/dev/null; then display=":$n"; break; fi
done
[[ -n $display ]] || fail "no virtual display could be started"
export DISPLAY=$display
calls="$tmp/calls.jsonl"

start_standins() {  # <flags...>
    "$here/standins.py" --log "$calls" --session "$DBUS_SESSION_BUS_ADDRESS" "$@" >>"$tmp/standins.out" 2>&1 &
    pids+=($!)
    local before
    before=$(grep -c '"ready"' "$calls" 2>/dev/null || true)
    wait_for 30 bash -c "[[ \$(grep -c '\"ready\"' '$calls' 2>/dev/null || true) -gt ${before:-0} ]]" ||
        fail "stand-ins did not start"
}

start_host() {  # <output file> [env...]
    local out=$1
    shift
    env "$@" "$program" --no-mdns --tailscale-api 127.0.0.1:9 >"$out" 2>&1 &
    host_pid=$!
    pids+=("$host_pid")
    wait_for 30 has "$out" "listening: " || fail "the host did not start"
}

# A name's owner on the bus, once it has one.
owner_of() { gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.GetNameOwner "$1" 2>/dev/null; }

start_standins --notifications --portal 2
start_host "$tmp/host.out"
item="org.kde.StatusNotifierItem-$host_pid-1"

# No tray host: the program runs on and says how to reach it, once.
wait_for 20 has "$tmp/host.out" "tray: no tray host" || fail "no word of the missing tray host"
wait_for 20 has "$calls" "applications menu" || fail "no notification about the missing tray host"

# A tray host appears: the item registers with it.
start_standins --watcher
wait_for 20 has "$calls" "\"service\": \"$item\"" || fail "the item did not register with the late watcher"
wait_for 20 has "$tmp/host.out" "tray: shown" || fail "registration not noticed"
[[ $(grep -c "applications menu" "$calls") -eq 1 ]] || fail "the missing tray host was told more than once"

# The item's properties.
props=$(gdbus call --session --dest "$item" --object-path /StatusNotifierItem \
    --method org.freedesktop.DBus.Properties.GetAll org.kde.StatusNotifierItem)
for want in "'Category': <'ApplicationStatus'>" "'Id': <'hearthpad'>" "'Title': <'Hearthpad'>" \
    "'Status': <'Active'>" "'ItemIsMenu': <true>" "'Menu': <objectpath '/MenuBar'>" \
    "'Hearthpad', 'Hearthpad - Ready')" "'IconPixmap': <[(22, 22, "; do
    [[ $props == *"$want"* ]] || fail "item property $want missing in $props"
done

# The portal says light: the glyph is dark (0x1f); then dark: it is light (0xf4).
pixmap() { gdbus call --session --dest "$item" --object-path /StatusNotifierItem \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem IconPixmap; }
light_glyph='0xff, 0x1f, 0x1f, 0x1f'
dark_glyph='0xff, 0xf4, 0xf4, 0xf4'
[[ $(pixmap) == *"$light_glyph"* && $(pixmap) != *"$dark_glyph"* ]] || fail "the icon is not the light panel's"
gdbus call --session --dest org.freedesktop.portal.Desktop --object-path /org/freedesktop/portal/desktop \
    --method io.github.hearthpad.Test.SetColorScheme 1 >/dev/null
wait_for 10 bash -c "[[ \$(gdbus call --session --dest '$item' --object-path /StatusNotifierItem \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem IconPixmap) == *'$dark_glyph'* ]]" ||
    fail "the icon did not follow the change to a dark panel"

layout() { gdbus call --session --dest "$item" --object-path /MenuBar --method com.canonical.dbusmenu.GetLayout 0 'int32 -1' '[]'; }
click() {
    gdbus call --session --dest "$item" --object-path /MenuBar --method com.canonical.dbusmenu.Event \
        "$1" clicked '<int32 0>' 0 >/dev/null
}
menu=$(layout)
for want in "'label': <'Pair New Device…'>" "'label': <'Paired Devices'>" "'label': <'No Paired Devices'>" \
    "'label': <'Exit Hearthpad'>" "(1002, {'label': <'Start on Login'>, 'toggle-type': <'checkmark'>, 'toggle-state': <0>}" \
    "'children-display': <'submenu'>" "'type': <'separator'>" "'enabled': <false>"; do
    [[ $menu == *"$want"* ]] || fail "menu item $want missing in $menu"
done
[[ $menu != *"Administrator"* ]] || fail "the elevated mode's item is in the Linux menu"

# Start on Login: written, checked, removed.
autostart="$tmp/config/autostart/hearthpad.desktop"
click 1002
wait_for 10 test -f "$autostart" || fail "no autostart entry after the click"
has "$autostart" "Exec=\"$program\" --background" || fail "autostart entry names another program: $(cat "$autostart")"
[[ $(layout) == *"'Start on Login'>, 'toggle-type': <'checkmark'>, 'toggle-state': <1>"* ]] ||
    fail "Start on Login not checked after the click"
click 1002
wait_for 10 bash -c "[[ ! -e '$autostart' ]]" || fail "autostart entry still there after the second click"

# Pair New Device… opens the pairing window; its QR code gives the code.
window_shown() { xdotool search --name "^$1\$" >/dev/null 2>&1; }
click 1001
wait_for 20 window_shown "Pair New Device" || fail "the pairing window did not open"
link=""
for _ in $(seq 1 20); do
    import -window root "$tmp/shot.png" 2>/dev/null &&
        link=$(zbarimg -q --raw "$tmp/shot.png" 2>/dev/null | head -1) || true
    [[ $link == hearthpad://pair\?* ]] && break
    sleep 0.5
done
[[ $link == hearthpad://pair\?* ]] || fail "no pairing link read from the pairing window's QR code"
[[ $link == *"&os=linux&"* ]] || fail "the pairing link does not name Linux: $link"
code=$(sed -n 's/.*[?&]code=\([0-9]\{6\}\).*/\1/p' <<<"$link")
port=$(sed -n 's/^listening: \([0-9]*\)$/\1/p' "$tmp/host.out")
[[ -n $code && -n $port ]] || fail "no pairing code in $link or no port"
"$client" --dir "$tmp/client" --name "Test_Phone" pair "127.0.0.1:$port" "$code" >"$tmp/client.out" 2>&1 ||
    fail "the client could not pair"
wait_for 10 bash -c "! xdotool search --name '^Pair New Device\$' >/dev/null 2>&1" ||
    fail "the pairing window stayed open after the device paired"
wait_for 10 bash -c "[[ \$(gdbus call --session --dest '$item' --object-path /MenuBar \
    --method com.canonical.dbusmenu.GetLayout 0 'int32 -1' '[]') == *\"'label': <'Test__Phone (Offline)'>\"* ]]" ||
    fail "the paired device is not in the menu: $(layout)"

# The phone's input reaches a real X client.
phone() { "$client" --dir "$tmp/client" --no-mdns --host "127.0.0.1:$port" "$@" 2>>"$tmp/client.out"; }
/usr/bin/python3 "$here/receiver.py" "$tmp/typed" >"$tmp/receiver.out" 2>&1 &
pids+=($!)
wait_for 20 window_shown hp-receiver || fail "the receiving window did not open"
receiver=$(xdotool search --name '^hp-receiver$' | head -1)
xdotool windowfocus --sync "$receiver" 2>/dev/null || xdotool windowfocus "$receiver"
xdotool mousemove 300 300
text='Grüße, 日本語 ✓'
phone type "$text" || fail "the client could not type"
wait_for 10 bash -c "[[ -f '$tmp/typed' && \$(cat '$tmp/typed') == '$text' ]]" ||
    fail "typed text arrived as '$(cat "$tmp/typed" 2>/dev/null)', not '$text'"
phone move 40 30 || fail "the client could not move the pointer"
eval "$(xdotool getmouselocation --shell)"
((X >= 340 && Y >= 330)) || fail "the pointer is at $X,$Y after a move of 40,30 from 300,300"

# The clipboard, both ways, against xclip.
phone clip set 'héllo wörld' || fail "the client could not set the clipboard"
wait_for 10 bash -c "[[ \$(timeout 5 xclip -selection clipboard -o 2>/dev/null) == 'héllo wörld' ]]" ||
    fail "xclip reads '$(timeout 5 xclip -selection clipboard -o 2>&1)' after the phone set the clipboard"
printf 'grün' | xclip -selection clipboard -i
got=$(phone clip get) || fail "the client could not read the clipboard"
[[ $got == grün ]] || fail "the phone read '$got' from the clipboard xclip set to 'grün'"

[[ $(layout) == *"(2000, {'label': <'Remove Device'>}"* ]] || fail "no Remove Device item: $(layout)"
click 2000
wait_for 10 bash -c "[[ \$(gdbus call --session --dest '$item' --object-path /MenuBar \
    --method com.canonical.dbusmenu.GetLayout 0 'int32 -1' '[]') == *\"'No Paired Devices'\"* ]]" ||
    fail "the device is still listed after Remove Device: $(layout)"

# A second start asks the running host to open the pairing window and ends.
"$program" --no-mdns >"$tmp/second.out" 2>&1 || fail "the second start failed"
wait_for 20 window_shown "Pair New Device" || fail "the second start did not open the running host's pairing window"

# Exit Hearthpad ends the process cleanly.
click 1099
wait_for 20 bash -c "! kill -0 $host_pid 2>/dev/null" || fail "Exit did not end the host"
wait "$host_pid" || fail "the host ended with status $?"
has "$tmp/host.out" "exiting" || fail "no clean exit"

# A Wayland session: said in the tooltip, the menu and a notification;
# SIGTERM ends the host cleanly.
start_host "$tmp/wayland.out" XDG_SESSION_TYPE=wayland
item="org.kde.StatusNotifierItem-$host_pid-1"
wait_for 20 has "$tmp/wayland.out" "tray: shown" || fail "the Wayland host's item did not register"
[[ $(layout) == *"'label': <'Wayland session: input into other programs does not work yet"* ]] ||
    fail "the menu does not say what Wayland lacks"
[[ $(gdbus call --session --dest "$item" --object-path /StatusNotifierItem \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem ToolTip) == *"Wayland session"* ]] ||
    fail "the tooltip does not say what Wayland lacks"
wait_for 10 has "$calls" "\"body\": \"Wayland session" || fail "no notification about Wayland"
kill -TERM "$host_pid"
wait "$host_pid" || fail "SIGTERM: the host ended with status $?"
has "$tmp/wayland.out" "exiting" || fail "SIGTERM: no clean exit"
[[ -n ${HP_TRAY_TEST_SHOW:-} ]] && { echo "$props" | cut -c1-400; echo "$menu" | cut -c1-1500; }
echo "desktop test: all passed"
