#!/usr/bin/env bash
# Checks that the layers depend one way only, from what the sources include:
#   base (src/base, src/crypto)  includes nothing of ours but itself
#   core (the other modules)     base, core and the platform interfaces
#                                (src/platform/*.h), never an implementation
#   platform (src/platform/**)   base and platform only
#   client (src/client)          base, itself and the protocol's pure codecs
#                                (frames, datagrams, the input record); never
#                                host state, server, start-up or platform
#   programs (src/app,           anything
#    src/sas_service)
# and that no core or portable base file includes <windows.h>.
# Prints every offending line and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

status=0
complain() { echo "layering: $*"; status=1; }

layer_of() {
    case "$1" in
        base/*|crypto/*) echo base ;;
        platform/*) echo platform ;;
        app/*|sas_service/*) echo app ;;
        client/*) echo client ;;
        qr/*) echo qr ;;
        *) echo core ;;
    esac
}

while IFS= read -r file; do
    rel=${file#src/}
    from=$(layer_of "$rel")
    while IFS= read -r line; do
        target=$(sed -E 's/^[[:space:]]*#include "([^"]+)".*/\1/' <<<"$line")
        to=$(layer_of "$target")
        case "$from:$to" in
            base:base|qr:base|qr:qr|platform:base|platform:platform|core:base|core:core|app:*) ;;
            client:base|client:client) ;;
            client:core)
                case "$target" in
                    protocol/frame.h|protocol/datagram.h|input/input_command.h) ;;
                    *) complain "$file (client) includes $target: the client uses only the protocol codecs" ;;
                esac ;;
            core:platform)
                # Interfaces only: src/platform/<name>.h, no implementation folder.
                [[ $target == platform/*/* ]] && complain "$file includes the implementation $target" ;;
            *) complain "$file ($from) includes $target ($to)" ;;
        esac
    done < <(grep -E '^[[:space:]]*#include "' "$file" || true)
    if [[ $from == core || ( $from == base && $file != *_win32.cpp ) ]]; then
        if grep -nE '^[[:space:]]*#include <(windows|winsock2|ws2tcpip)\.h>' "$file" >/dev/null; then
            complain "$file includes a Windows header"
        fi
    fi
done < <(find src -name '*.h' -o -name '*.cpp' | sort)

if ((status == 0)); then echo "layering: one way (base <- core, base <- platform, the client on base and the codecs, programs on top)"; fi
exit $status
