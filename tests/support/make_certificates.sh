#!/bin/bash
# The tests' certificates, made afresh by the openssl command in PKI (its
# contents are replaced): nothing secret is stored.
#   make_certificates.sh PKI
# ca.pem (also ca.der) and other-ca.pem: two test CAs, the second unknown to
# the clients; NAME.pem with NAME.key, valid for two days unless said:
#   local        127.0.0.1 and localhost, by ca
#   other-host   other.invalid only, by ca
#   expired      as local, ended in 2020
#   unknown-ca   as local, by other-ca
#   self-signed  as local, signed by itself
# Exits non-zero with openssl's own words when a step fails.
set -u
[ $# -eq 1 ] || { echo "usage: $0 PKI" >&2; exit 2; }
pki=$(realpath -m "$1")
fail() {
  echo "certificates: $*" >&2
  exit 1
}
rm -rf "$pki"
mkdir -p "$pki/issued" || fail "cannot create $pki"
: >"$pki/index.txt"
echo 1000 >"$pki/serial"
# `openssl ca` takes any start and end date, so the expired certificate is
# issued as it would have been in 2020; both CAs share one register.
cat >"$pki/ca.cnf" <<EOF
[ req ]
distinguished_name = request_name
[ request_name ]
[ ca ]
default_ca = test_ca
[ test_ca ]
database = $pki/index.txt
new_certs_dir = $pki/issued
serial = $pki/serial
default_md = sha256
policy = any_name
unique_subject = no
[ any_name ]
commonName = supplied
[ local_names ]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1,DNS:localhost
[ other_names ]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:other.invalid
EOF
run_openssl() {
  local out
  out=$(openssl "$@" 2>&1) || fail "openssl $1: $out"
}
new_key=(-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes)
# What signs is RSA: Wine's certificate checks refuse an ECDSA signature
# whose r or s is shorter than the key (one in a hundred or so), which would
# turn a good certificate bad in one run of many.
rsa_key=(-newkey rsa:2048 -nodes)
for ca in ca other-ca; do
  run_openssl req -config "$pki/ca.cnf" -x509 "${rsa_key[@]}" -keyout "$pki/$ca.key" \
    -out "$pki/$ca.pem" -days 2 -subj "/CN=Kalvoran $ca" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign
done
run_openssl x509 -in "$pki/ca.pem" -outform DER -out "$pki/ca.der"
# certify NAME CA NAMES VALIDITY...
certify() {
  local name=$1 ca=$2 names=$3
  shift 3
  run_openssl req -config "$pki/ca.cnf" -new "${new_key[@]}" -keyout "$pki/$name.key" \
    -out "$pki/$name.csr" -subj "/CN=$name"
  run_openssl ca -config "$pki/ca.cnf" -batch -notext -in "$pki/$name.csr" -out "$pki/$name.pem" \
    -cert "$pki/$ca.pem" -keyfile "$pki/$ca.key" -extensions "$names" "$@"
}
certify local ca local_names -days 2
certify other-host ca other_names -days 2
certify expired ca local_names -startdate 20200101000000Z -enddate 20200201000000Z
certify unknown-ca other-ca local_names -days 2
run_openssl req -config "$pki/ca.cnf" -x509 "${rsa_key[@]}" -keyout "$pki/self-signed.key" \
  -out "$pki/self-signed.pem" -days 2 -subj /CN=self-signed \
  -addext basicConstraints=critical,CA:FALSE -addext keyUsage=critical,digitalSignature \
  -addext extendedKeyUsage=serverAuth -addext subjectAltName=IP:127.0.0.1,DNS:localhost

