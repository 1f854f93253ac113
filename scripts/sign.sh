#!/usr/bin/env bash
# Signs Windows programs (PE files) in place with an Authenticode signature
# (osslsigncode), with the certificate the environment names:
#
#   HEARTHPAD_SIGN_PFX            the certificate with its private key (.pfx or
#                                 .p12), an absolute path
#   HEARTHPAD_SIGN_PASSWORD       its password (empty or unset: it has none)
#   HEARTHPAD_SIGN_TIMESTAMP_URL  optional: RFC 3161 time-stamp server(s),
#                                 separated by spaces, tried in turn
#
#   scripts/sign.sh FILE...
#
# Without HEARTHPAD_SIGN_PFX the files stay as they are: one warning line,
# exit status 0, so builds without a certificate still work. With it every
# failure (the certificate missing or unreadable, a wrong password, a file
# osslsigncode refuses) is an error with exit status 1: a release that asked
# to be signed must never leave unsigned. A wrong call exits with 2.
#
# makensis runs this as its !finalize and !uninstfinalize command, with one
# path and makensis's own working directory (the .nsi file's folder), so
# nothing but the arguments is taken relative to the current directory.
#
# The signature: SHA-256, description "Hearthpad", URL https://hearthpad.app.
# The password reaches osslsigncode through a file in a private temporary
# folder (mode 0600, removed on exit), never on a command line, where any
# user could read it in the process list. Each file is signed into a
# temporary sibling that then replaces it by a rename, so a failure leaves it
# untouched. Without a time stamp the signature's signing-time attribute is
# SOURCE_DATE_EPOCH when that is set, so the same file and the same RSA key
# give the same bytes (an ECDSA signature differs on every run).
#
# Everything it prints goes to standard error.
set -euo pipefail

if (($# == 0)); then
    echo "usage: scripts/sign.sh FILE..." >&2
    exit 2
fi
for f in "$@"; do
    if [[ ! -f $f ]]; then
        echo "error: sign.sh: no such file: $f" >&2
        exit 1
    fi
done

pfx="${HEARTHPAD_SIGN_PFX:-}"
if [[ -z $pfx ]]; then
    echo "warning: no signing certificate (HEARTHPAD_SIGN_PFX): $* left unsigned" >&2
    exit 0
fi
if [[ $pfx != /* ]]; then
    echo "error: HEARTHPAD_SIGN_PFX must be an absolute path (makensis runs this from its own folder): $pfx" >&2
    exit 1
fi
if [[ ! -f $pfx || ! -r $pfx ]]; then
    echo "error: the signing certificate HEARTHPAD_SIGN_PFX cannot be read: $pfx; nothing signed" >&2
    exit 1
fi
if ! command -v osslsigncode >/dev/null; then
    echo "error: osslsigncode is not installed (scripts/install-deps.sh); nothing signed" >&2
    exit 1
fi

temps=()
cleanup() {
    ((${#temps[@]} == 0)) || rm -rf -- "${temps[@]}"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

umask 077
private="$(mktemp -d "${TMPDIR:-/tmp}/hearthpad-sign.XXXXXX")"
temps+=("$private")

args=(sign -pkcs12 "$pfx" -h sha256 -n Hearthpad -i https://hearthpad.app)
# osslsigncode refuses an empty password file; a certificate without a
# password is opened with none.
if [[ -n ${HEARTHPAD_SIGN_PASSWORD:-} ]]; then
    # printf is a shell builtin: the password is never an argument of a process.
    printf '%s' "$HEARTHPAD_SIGN_PASSWORD" >"$private/password"
    chmod 0600 "$private/password"
    args+=(-readpass "$private/password")
fi
read -r -a timestamp_urls <<<"${HEARTHPAD_SIGN_TIMESTAMP_URL:-}"
if ((${#timestamp_urls[@]})); then
    for url in "${timestamp_urls[@]}"; do args+=(-ts "$url"); done
elif [[ ${SOURCE_DATE_EPOCH:-} =~ ^[0-9]+$ ]]; then
    # Otherwise the signing time would be the current time. Without a time
    # stamp Windows judges the certificate at the time of use, never by this
    # attribute, so pinning it costs nothing.
    args+=(-time "$SOURCE_DATE_EPOCH")
fi

for f in "$@"; do
    target="$(readlink -f -- "$f")"
    # Beside the target, so the final rename stays within one file system.
    work="$(mktemp -d "$(dirname -- "$target")/.hearthpad-sign.XXXXXX")"
    temps+=("$work")
    if ! osslsigncode "${args[@]}" -in "$target" -out "$work/signed" >"$private/log" 2>&1; then
        sed 's/^/  osslsigncode: /' "$private/log" >&2
        echo "error: signing $f with $pfx failed (wrong password, or not a PE file?); $f left unchanged" >&2
        exit 1
    fi
    chmod --reference="$target" -- "$work/signed"
    mv -f -- "$work/signed" "$target"
    rmdir -- "$work"
    echo "signed: $f" >&2
done
