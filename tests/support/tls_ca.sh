#!/usr/bin/env bash
# A private certificate authority for the TLS tests, made with Debian's openssl in a test's own
# folder: DIR/ca.crt (and its key) once, then DIR/NAME.crt and DIR/NAME.key, a server
# certificate signed by it for the names in SAN (default: localhost and 127.0.0.1).
#
#   tls_ca.sh DIR NAME [SAN]      e.g. tls_ca.sh "$dir" wrong DNS:elsewhere.example
set -euo pipefail
dir=${1:?folder} name=${2:?certificate name} san=${3:-DNS:localhost,IP:127.0.0.1}
mkdir -p "$dir"
if [[ ! -f $dir/ca.crt ]]; then
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=vorn test CA" \
    -keyout "$dir/ca.key" -out "$dir/ca.crt" 2>/dev/null
fi
openssl req -newkey rsa:2048 -nodes -subj "/CN=${san%%,*}" -keyout "$dir/$name.key" \
  -out "$dir/$name.csr" 2>/dev/null
printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$san" \
  >"$dir/$name.ext"
openssl x509 -req -in "$dir/$name.csr" -CA "$dir/ca.crt" -CAkey "$dir/ca.key" -CAcreateserial \
  -days 2 -extfile "$dir/$name.ext" -out "$dir/$name.crt" 2>/dev/null
chmod 600 "$dir/$name.key"
