#!/usr/bin/env bash
# Makes the test certificate authority and localhost certificates used by the reference
# service and the Wine tests: make_test_ca.sh OUTDIR
#
# OUTDIR belongs in a build tree. The keys written there are throwaway test keys and must
# never be committed.
#
# Idempotent: when every file is present, consistent and valid for 30 more days, nothing
# is touched, so the CA a Wine prefix already trusts stays the same between builds.
set -euo pipefail

log() { printf 'make_test_ca: %s\n' "$*" >&2; }

[ $# -eq 1 ] || { echo "usage: $0 OUTDIR" >&2; exit 2; }
OUT=$1
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)

MIN_LEFT=$((30 * 86400))
CA_DAYS=825
LEAF_DAYS=397  # clients reject leaves valid for 398 days or more

# Two builds sharing one OUTDIR must not interleave their writes.
if command -v flock >/dev/null 2>&1; then
  exec 9>"$OUT/.make_test_ca.lock"
  flock 9
fi

cert_ok() { # cert issuer-cert key
  [ -s "$1" ] && [ -s "$2" ] && [ -s "$3" ] || return 1
  openssl x509 -in "$1" -noout -checkend "$MIN_LEFT" >/dev/null 2>&1 || return 1
  openssl verify -CAfile "$2" "$1" >/dev/null 2>&1 || return 1
  [ "$(openssl x509 -in "$1" -noout -pubkey 2>/dev/null)" = \
    "$(openssl pkey -in "$3" -pubout 2>/dev/null)" ] || return 1
}

all_ok() {
  cert_ok "$OUT/ca.pem" "$OUT/ca.pem" "$OUT/ca.key" || return 1
  cert_ok "$OUT/server.pem" "$OUT/ca.pem" "$OUT/server.key" || return 1
  # The untrusted CA's key is not kept, so only its certificate can be checked.
  [ -s "$OUT/untrusted-ca.pem" ] || return 1
  openssl x509 -in "$OUT/untrusted-ca.pem" -noout -checkend "$MIN_LEFT" >/dev/null 2>&1 || return 1
  cert_ok "$OUT/untrusted-server.pem" "$OUT/untrusted-ca.pem" "$OUT/untrusted-server.key" || return 1
  # The DER copy is what the Wine prefix imports; it must be the same certificate.
  [ -s "$OUT/ca.der" ] || return 1
  cmp -s "$OUT/ca.der" <(openssl x509 -in "$OUT/ca.pem" -outform DER) || return 1
}

if all_ok; then
  exit 0
fi

umask 077
WORK=$(mktemp -d "$OUT/.make_test_ca.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

cat >"$WORK/openssl.cnf" <<'EOF'
[req]
distinguished_name = dn
prompt = no
[dn]
CN = unused
[v3_ca]
basicConstraints = critical,CA:TRUE,pathlen:0
keyUsage = critical,keyCertSign,cRLSign
nameConstraints = critical,permitted;DNS:localhost,permitted;IP:127.0.0.1/255.255.255.255
subjectKeyIdentifier = hash
[v3_leaf]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost,IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
EOF

newkey() {
  openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1" 2>/dev/null
}

serial() { printf '0x%s%s\n' "$(openssl rand -hex 1 | tr '89abcdef' '01234567')" "$(openssl rand -hex 15)"; }

make_ca() { # name CN
  newkey "$WORK/$1.key"
  openssl req -new -x509 -config "$WORK/openssl.cnf" -extensions v3_ca \
    -key "$WORK/$1.key" -subj "/CN=$2" -sha256 -days "$CA_DAYS" -set_serial "$(serial)" \
    -out "$WORK/$1.pem"
}

make_leaf() { # name ca-name
  newkey "$WORK/$1.key"
  openssl req -new -config "$WORK/openssl.cnf" -key "$WORK/$1.key" -subj "/CN=localhost" \
    -out "$WORK/$1.csr"
  openssl x509 -req -in "$WORK/$1.csr" -CA "$WORK/$2.pem" -CAkey "$WORK/$2.key" \
    -set_serial "$(serial)" -sha256 -days "$LEAF_DAYS" \
    -extfile "$WORK/openssl.cnf" -extensions v3_leaf -out "$WORK/$1.pem" 2>/dev/null
}

log "creating test CA in $OUT"
make_ca ca "Brindle Test CA"
make_leaf server ca
# Independent CA that nothing trusts: its leaf proves clients refuse unknown issuers.
make_ca untrusted-ca "Brindle Untrusted Test CA"
make_leaf untrusted-server untrusted-ca
openssl x509 -in "$WORK/ca.pem" -outform DER -out "$WORK/ca.der"

chmod 0600 "$WORK"/*.key
chmod 0644 "$WORK"/*.pem "$WORK/ca.der"
for f in server.key server.pem untrusted-server.key untrusted-server.pem untrusted-ca.pem \
  ca.key ca.der ca.pem; do
  mv -f "$WORK/$f" "$OUT/$f"
done
