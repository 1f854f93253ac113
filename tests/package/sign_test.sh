#!/usr/bin/env bash
# scripts/sign.sh with a throwaway certificate authority: a signed program
# verifies against that authority, carries the description, URL and SHA-256
# digest, and comes out byte for byte the same twice; a wrong password or an
# unusable certificate fails and leaves the file untouched; no certificate
# leaves it unsigned with one warning and success.
#
#   tests/package/sign_test.sh
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
sign="$here/scripts/sign.sh"
for tool in osslsigncode openssl x86_64-w64-mingw32-gcc; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is missing: run scripts/install-deps.sh" >&2
        exit 1
    fi
done
work="$(mktemp -d "${TMPDIR:-/tmp}/hp-sign-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# ------------------------------------------------------------- fixtures
ca="$work/ca"
mkdir -p "$ca" "$work/files" "$work/elsewhere"
password="correct horse \$battery 'staple'"
printf '%s' "$password" | "$here/tests/package/make_test_certificate.sh" "$ca" >"$work/openssl.log" 2>&1 || {
    cat "$work/openssl.log" >&2
    echo "could not make the test certificates" >&2
    exit 1
}
printf 'int main(void) { return 0; }\n' >"$work/tiny.c"
x86_64-w64-mingw32-gcc -O2 -s -o "$work/tiny.exe" "$work/tiny.c" || {
    echo "could not build the test program" >&2
    exit 1
}

fresh() {  # fresh <name>: an unsigned copy of the program, mode 0755
    install -m 0755 "$work/tiny.exe" "$work/files/$1"
}
leftovers() {
    find "$work/files" -name '.hearthpad-sign.*' | grep -q .
}

# ------------------------------------------------------------- signed
# As makensis runs it: from another folder, one path relative to the current
# folder and one absolute, in one call.
fresh a.exe
fresh b.exe
(cd "$work/files" && env -u HEARTHPAD_SIGN_TIMESTAMP_URL HEARTHPAD_SIGN_PFX="$ca/signer.pfx" \
    HEARTHPAD_SIGN_PASSWORD="$password" SOURCE_DATE_EPOCH=1700000000 \
    "$sign" a.exe "$work/files/b.exe") >"$work/out" 2>"$work/err"
status=$?
[[ $status == 0 ]] || fail "signing exited with $status: $(cat "$work/err")"
[[ ! -s $work/out ]] || fail "signing printed to standard output: $(cat "$work/out")"
for f in a.exe b.exe; do
    if osslsigncode verify -CAfile "$ca/ca.pem" -in "$work/files/$f" >"$work/verify-$f" 2>&1; then
        v="$work/verify-$f"
        grep -q 'Signature verification: ok' "$v" || fail "$f: no verified signature"
        grep -q 'Message digest algorithm *: SHA256' "$v" || fail "$f: digest is not SHA-256"
        grep -q 'Text description: Hearthpad$' "$v" || fail "$f: description missing"
        grep -q 'URL description: https://hearthpad.app$' "$v" || fail "$f: URL missing"
        grep -q 'Subject: /CN=Hearthpad Test Signer' "$v" || fail "$f: signer is not the test certificate"
        # SOURCE_DATE_EPOCH 1700000000, as osslsigncode prints it.
        grep -q 'Signing time: Nov 14 22:13:20 2023 GMT' "$v" || fail "$f: signing time is not SOURCE_DATE_EPOCH"
    else
        fail "$f does not verify: $(cat "$work/verify-$f")"
    fi
    [[ $(stat -c %a "$work/files/$f") == 755 ]] || fail "$f lost its mode"
done
cmp -s "$work/files/a.exe" "$work/tiny.exe" && fail "a.exe was not changed"
cmp -s "$work/files/a.exe" "$work/files/b.exe" ||
    fail "two signatures of the same file with SOURCE_DATE_EPOCH differ"
leftovers && fail "temporary files left beside the signed programs"

# ------------------------------------------------------------- refused
# Each: a name, the certificate path, the password. The file must stay as it was.
cases=(
    "wrong password|$ca/signer.pfx|not the password"
    "no password for a protected certificate|$ca/signer.pfx|"
    "missing certificate|$ca/absent.pfx|$password"
    "relative certificate path|ca/signer.pfx|$password"
    "certificate is not a PKCS#12 file|$ca/leaf.pem|$password"
)
for c in "${cases[@]}"; do
    IFS='|' read -r name pfx pass <<<"$c"
    fresh victim.exe
    (cd "$work" && env HEARTHPAD_SIGN_PFX="$pfx" HEARTHPAD_SIGN_PASSWORD="$pass" \
        "$sign" "$work/files/victim.exe") >/dev/null 2>"$work/err"
    status=$?
    [[ $status != 0 ]] || fail "$name: exit status 0"
    grep -q '^error: ' "$work/err" || fail "$name: no error line: $(cat "$work/err")"
    cmp -s "$work/files/victim.exe" "$work/tiny.exe" || fail "$name: the file was changed"
    leftovers && fail "$name: temporary files left behind"
done
# A file that is not there is an error, with or without a certificate.
for pfx in "" "$ca/signer.pfx"; do
    env HEARTHPAD_SIGN_PFX="$pfx" HEARTHPAD_SIGN_PASSWORD="$password" \
        "$sign" "$work/files/absent.exe" >/dev/null 2>&1 && fail "a missing file${pfx:+ (with a certificate)} was accepted"
done
"$sign" >/dev/null 2>&1
[[ $? == 2 ]] || fail "no arguments: exit status is not 2"

# ------------------------------------------------------------- unsigned
fresh plain.exe
env -u HEARTHPAD_SIGN_PFX HEARTHPAD_SIGN_PASSWORD="$password" \
    "$sign" "$work/files/plain.exe" >"$work/out" 2>"$work/err"
status=$?
[[ $status == 0 ]] || fail "without a certificate: exit status $status"
expected="warning: no signing certificate (HEARTHPAD_SIGN_PFX): $work/files/plain.exe left unsigned"
[[ $(cat "$work/err") == "$expected" ]] || fail "without a certificate, stderr was: $(cat "$work/err")"
[[ ! -s $work/out ]] || fail "without a certificate, stdout was: $(cat "$work/out")"
cmp -s "$work/files/plain.exe" "$work/tiny.exe" || fail "without a certificate the file was changed"

if ((failures)); then
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "sign.sh: signed, refused and unsigned cases pass"
