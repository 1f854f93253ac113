#!/usr/bin/env bash
# scripts/check-layers.sh against small trees of its own: an include that runs
# against the order (upward, as from the codecs into the store; across one
# rank; into a folder without a rank; from the client into the host; from the
# core into a platform implementation) fails and names the file and the
# include; the same tree without the planted file passes; and the real tree
# passes.
#
#   tests/layering/check_layers_test.sh
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
check="$here/scripts/check-layers.sh"
work="$(mktemp -d "${TMPDIR:-/tmp}/hp-layers-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# A tree whose includes all run downward.
put() { mkdir -p "$(dirname "$1")" && printf '%s\n' "${@:2}" >"$1"; }
make_tree() {
    rm -rf "$1" && mkdir -p "$1"
    put "$1/src/base/bytes.h" '#pragma once' '#include <vector>'
    put "$1/src/crypto/aead.h" '#include "base/bytes.h"'
    put "$1/src/platform/system.h" '#include "base/bytes.h"'
    put "$1/src/platform/win32/system.cpp" '#include "platform/system.h"' '#include <windows.h>'
    put "$1/src/store/paired_store.h" '#include "platform/system.h"' '#include "crypto/aead.h"'
    put "$1/src/protocol/frame.h" '#include "crypto/aead.h"'
    put "$1/src/server/session.h" '#include "store/paired_store.h"' '  #include "protocol/frame.h"'
    put "$1/src/update/version.cpp" '#include "hp_version.h"'
    put "$1/src/client/connection.cpp" '#include "protocol/frame.h"' '#include "base/bytes.h"'
    put "$1/src/app/main.cpp" '#include "server/session.h"' '#include "platform/win32/system.cpp"'
}

make_tree "$work/clean"
out=$(HEARTHPAD_LAYERS_ROOT="$work/clean" "$check" 2>&1) || fail "a tree with only downward includes fails: $out"

# planted file | its include | what the complaint must say (ranks as N: the
# numbers move when a module is placed)
cases=(
    'src/store/planted.h|#include "server/session.h"|src/store/planted.h (store, rank N) includes server/session.h (server, rank N): upward'
    'src/protocol/planted.h|#include "store/paired_store.h"|src/protocol/planted.h (protocol, rank N) includes store/paired_store.h (store, rank N): upward'
    'src/store/planted.cpp|#include "discovery/endpoints.h"|src/store/planted.cpp (store) includes discovery/endpoints.h (discovery): same rank'
    'src/base/planted.h|#include "crypto/aead.h"|src/base/planted.h (base, rank N) includes crypto/aead.h (crypto, rank N): upward'
    'src/widgets/planted.h|#include "base/bytes.h"|src/widgets has no rank: place it in the order'
    'src/server/planted.cpp|#include "widgets/knob.h"|src/server/planted.cpp includes widgets/knob.h: src/widgets has no rank'
    'src/client/planted.cpp|#include "server/session.h"|src/client/planted.cpp (client) includes server/session.h: the client uses only'
    'src/server/planted.cpp|#include "platform/win32/system.cpp"|src/server/planted.cpp includes the implementation platform/win32/system.cpp'
    'src/protocol/planted.cpp|#include <windows.h>|src/protocol/planted.cpp includes a Windows header'
)
for c in "${cases[@]}"; do
    IFS='|' read -r planted include expected <<<"$c"
    tree="$work/planted"
    make_tree "$tree"
    put "$tree/$planted" "$include"
    if out=$(HEARTHPAD_LAYERS_ROOT="$tree" "$check" 2>&1); then
        fail "$planted with '$include' passes"
    elif [[ $(sed -E 's/rank [0-9]+/rank N/g' <<<"$out") != *"layering: $expected"* ]]; then
        fail "$planted with '$include': expected \"$expected\", got: $out"
    else
        echo "ok: $out"
    fi
done

out=$("$check" 2>&1) || fail "the real tree fails: $out"

if ((failures)); then
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "all layering cases behave"
