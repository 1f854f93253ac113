#!/usr/bin/env bash
# Makes a throwaway certificate authority and a code-signing certificate it
# issued, valid two days, for tests only:
#   <dir>/ca.pem        the authority (what osslsigncode verify -CAfile takes)
#   <dir>/signer.pfx    the signing key and certificate chain, protected by
#                       the password read from standard input
#
#   tests/package/make_test_certificate.sh DIR < password-file
set -euo pipefail
dir="${1:?usage: $0 DIR < password}"
mkdir -p "$dir"
password="$(cat)"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Hearthpad Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$dir/ca.key" -out "$dir/ca.pem"
openssl req -newkey rsa:2048 -nodes -subj "/CN=Hearthpad Test Signer" \
    -keyout "$dir/leaf.key" -out "$dir/leaf.csr"
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
    >"$dir/leaf.ext"
openssl x509 -req -days 2 -in "$dir/leaf.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" \
    -CAcreateserial -extfile "$dir/leaf.ext" -out "$dir/leaf.pem"
openssl pkcs12 -export -inkey "$dir/leaf.key" -in "$dir/leaf.pem" -certfile "$dir/ca.pem" \
    -passout "file:"<(printf '%s' "$password") -out "$dir/signer.pfx"
