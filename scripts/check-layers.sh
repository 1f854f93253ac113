#!/usr/bin/env bash
# Checks that the code depends one way only, from what the sources include.
#
# Every folder src/<folder> has a rank below. A file may include its own
# folder and any folder of a lower rank, never one of the same rank or
# higher: the order runs from the vocabulary (base) up to the programs, and
# nothing runs back down. A folder without a rank fails the check, so a new
# module is placed in the order when it is made.
#
# Besides the ranks:
#   - core folders use the platform's interfaces (src/platform/*.h), never an
#     implementation (src/platform/<system>/); only platform and the programs
#     reach those;
#   - the reference client (src/client) is a program of its own that stands
#     on base, crypto and the protocol's codecs, and nothing else of the host;
#   - no portable file includes <windows.h> (base's *_win32.cpp excepted).
#
# Prints every offending line and exits 1 when there is one.
# HEARTHPAD_LAYERS_ROOT names another tree to check (the script's own test).
set -euo pipefail
cd "${HEARTHPAD_LAYERS_ROOT:-$(dirname "${BASH_SOURCE[0]}")/..}"

# The order, lowest first. Folders on one line share a rank: neither includes
# the other.
order=(
    "base"                                          # bytes, text, JSON, addresses, files
    "text_catalogue"                                # the texts people read, in their language
    "crypto qr"                                     # primitives; the QR matrix
    "platform protocol"                             # the interfaces to the system; the codecs (frames, messages,
                                                    # handshakes, datagrams, the input record)
    "store discovery startup update sas"            # data directory, endpoints, start at login, update, Ctrl+Alt+Del rules
    "host"                                          # the shared host record and its lock
    "input"                                         # the input record's execution, keys, text
    "vigem"                                         # the virtual pad's driver client
    "pad_mapping connection_check"                  # pad to keys and mouse; reachability findings
    "gamepad pad_mapping_ui"                        # where the pad goes; the mapping window's model
    "commands"                                      # what a received command means
    "server"                                        # sockets, sessions, datagram loop
    "host_ops"                                      # the front ends' command surface
    "main tray pairing_flyout window_link"          # start-up; the tray's and pairing window's models; the windows program's link
    "app sas_service client"                        # the programs
)
declare -A rank=()
for i in "${!order[@]}"; do
    for folder in ${order[i]}; do rank[$folder]=$i; done
done
# The client may include these folders besides its own; the other programs,
# anything below them.
client_uses=" base crypto protocol "
# Folders that are not portable (may include Windows headers).
not_portable=" platform app sas_service client "

status=0
complain() { echo "layering: $*"; status=1; }

declare -A unranked=()
while IFS= read -r file; do
    rel=${file#src/}
    if [[ $rel != */* ]]; then
        complain "$file is in no folder: every source belongs to a module of the order"
        continue
    fi
    from=${rel%%/*}
    if [[ -z ${rank[$from]+set} ]]; then
        [[ -n ${unranked[$from]+set} ]] || complain "src/$from has no rank: place it in the order in scripts/check-layers.sh"
        unranked[$from]=1
        continue
    fi
    while IFS= read -r line; do
        target=$(sed -E 's/^[[:space:]]*#include "([^"]+)".*/\1/' <<<"$line")
        # No folder: a header the build generates (hp_version.h).
        [[ $target == */* ]] || continue
        to=${target%%/*}
        if [[ -z ${rank[$to]+set} ]]; then
            complain "$file includes $target: src/$to has no rank in scripts/check-layers.sh"
            continue
        fi
        if [[ $from == client ]]; then
            [[ $to == client || $client_uses == *" $to "* ]] ||
                complain "$file (client) includes $target: the client uses only base, crypto and the protocol's codecs"
            continue
        fi
        if [[ $to != "$from" ]] && ((rank[$to] >= rank[$from])); then
            if ((rank[$to] == rank[$from])); then
                complain "$file ($from) includes $target ($to): same rank, neither may include the other"
            else
                complain "$file ($from, rank ${rank[$from]}) includes $target ($to, rank ${rank[$to]}): upward"
            fi
        fi
        if [[ $target == platform/*/* && $from != platform && ${rank[$from]} -lt ${rank[app]} ]]; then
            complain "$file includes the implementation $target: the core uses the interfaces in src/platform/*.h"
        fi
    done < <(grep -E '^[[:space:]]*#include "' "$file" || true)
    if [[ $not_portable != *" $from "* && ! ($from == base && $file == *_win32.cpp) ]]; then
        if grep -nE '^[[:space:]]*#include <(windows|winsock2|ws2tcpip)\.h>' "$file" >/dev/null; then
            complain "$file includes a Windows header"
        fi
    fi
done < <(find src -name '*.h' -o -name '*.cpp' | sort)

if ((status == 0)); then
    echo "layering: one way, lowest first:"
    for i in "${!order[@]}"; do printf "  %2d  %s\n" "$i" "${order[i]}"; done
fi
exit $status
