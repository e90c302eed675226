#!/usr/bin/env bash
# Makes a local certificate authority and a certificate for the matting service on
# 127.0.0.1 / ::1 / localhost, so the desktop program talks to its local service
# over HTTPS with real peer verification. Quiet and unchanged when a valid pair is
# already there. Folder: $BRISEL_TLS_DIR or ~/.cache/brisel/tls. Besides the pair it
# leaves cacert.pem there: the local CA followed by the system's, the bundle an
# installed program's client trusts.
set -euo pipefail

dir="${BRISEL_TLS_DIR:-$HOME/.cache/brisel/tls}"
mkdir -p "$dir"
chmod 700 "$dir"
cd "$dir"

bundle() {
  cat ca.pem /etc/ssl/certs/ca-certificates.crt >cacert.pem.new 2>/dev/null || cp ca.pem cacert.pem.new
  mv -f cacert.pem.new cacert.pem
}

if [ -s ca.pem ] && [ -s server-cert.pem ] && [ -s server-key.pem ] &&
   openssl verify -CAfile ca.pem server-cert.pem >/dev/null 2>&1 &&
   openssl x509 -checkend 2592000 -noout -in server-cert.pem >/dev/null 2>&1; then
  [ -s cacert.pem ] || bundle
  exit 0
fi

# Built aside and moved in at the end, so an interrupted run leaves the old pair.
work=$(mktemp -d "$dir/.new-XXXXXX")
trap 'rm -rf "$work"' EXIT
(
  cd "$work"
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -keyout ca-key.pem -out ca.pem -days 3650 -subj "/CN=Brisel local CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -keyout server-key.pem -out server.csr -subj "/CN=localhost"
  cat > server.ext <<'EXT'
subjectAltName=IP:127.0.0.1,IP:::1,DNS:localhost
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
EXT
  openssl x509 -req -in server.csr -CA ca.pem -CAkey ca-key.pem -CAcreateserial \
    -out server-cert.pem -days 825 -extfile server.ext
) >"$work/openssl.log" 2>&1 || { cat "$work/openssl.log" >&2; exit 1; }
chmod 600 "$work"/*-key.pem
mv -f "$work/ca-key.pem" "$work/ca.pem" "$work/server-key.pem" "$work/server-cert.pem" .
bundle
echo "make-certs: made a local CA and a certificate for 127.0.0.1/localhost in $dir"
