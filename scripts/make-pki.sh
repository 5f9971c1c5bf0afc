#!/usr/bin/env bash
# Makes a throw-away certificate authority and a server certificate for the loopback services
# (tests and the demo). Nothing made here is ever committed.
#   make-pki.sh OUTDIR
# Writes OUTDIR/ca.pem, OUTDIR/ca.key, OUTDIR/server.pem, OUTDIR/server.key. Existing files are kept.
set -euo pipefail
out=${1:?usage: make-pki.sh OUTDIR}
mkdir -p "$out"
cd "$out"
if [[ -s ca.pem && -s ca.key && -s server.pem && -s server.key ]]; then
    exit 0
fi
umask 077
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
    -subj "/CN=harbolink local CA" -keyout ca.key -out ca.pem \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
san="DNS:localhost,IP:::1"
for i in $(seq 1 40); do san="$san,IP:127.0.0.$i"; done
openssl req -newkey rsa:2048 -nodes -sha256 -subj "/CN=localhost" -keyout server.key -out server.csr 2>/dev/null
printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$san" > server.ext
openssl x509 -req -sha256 -days 3650 -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial \
    -extfile server.ext -out server.pem 2>/dev/null
rm -f server.csr server.ext ca.srl
chmod 644 ca.pem server.pem
