#!/usr/bin/env bash
# Records over TLS to a private PostgreSQL server with a certificate of a private CA
# (tests/support/tls_ca.sh): a station with sslmode=verify-full keeps records when the server's
# certificate is made out to the name it dials; the same station refuses, exit 3, a server
# whose certificate names another host, and one whose CA it was not given.
#
#   postgres_tls.sh VORNCTL RECORDS_WRITER
set -euo pipefail
vornctl=${1:?vornctl} writer=${2:?records-writer}
here=$(cd "$(dirname "$0")" && pwd)
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
as_owner() { if [[ $(id -u) -eq 0 ]]; then runuser -u postgres -- "$@"; else "$@"; fi; }
# shellcheck source=../support/ports.sh
source "$here/../support/ports.sh"

dir=$(mktemp -d /tmp/vorn-postgres-tls.XXXXXX)
cleanup() { as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null 2>&1 || true; rm -rf "$dir"; }
trap cleanup EXIT
chmod 755 "$dir"
"$here/../support/tls_ca.sh" "$dir/ca" server
"$here/../support/tls_ca.sh" "$dir/ca" wrong DNS:elsewhere.example
"$here/../support/tls_ca.sh" "$dir/other" server   # another CA altogether
[[ $(id -u) -ne 0 ]] || chown -R postgres "$dir"
as_owner "$bin/initdb" -D "$dir/data" -A trust -U postgres --no-sync >/dev/null
# TLS only: a plain connection from the network is not let in at all.
printf 'local all all trust\nhostssl all all 127.0.0.1/32 trust\n' >"$dir/data/pg_hba.conf"

start() { # CERTIFICATE-NAME
  as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/log" -w -t 30 -o "-c listen_addresses=127.0.0.1 \
-c port=$port -c unix_socket_directories=$dir -c fsync=off -c ssl=on \
-c ssl_cert_file=$dir/ca/$1.crt -c ssl_key_file=$dir/ca/$1.key" start >/dev/null
}
for _ in 1 2 3 4 5 6 7 8 9 10; do
  port=$(free_port)
  start server && break
done
port_in_use "$port" || { cat "$dir/log" >&2; exit 1; }

failures=0
check() { # WHAT EXPECTED-EXIT COMMAND...
  local what=$1 expected=$2 code=0
  shift 2
  "$@" >"$dir/out" 2>"$dir/err" || code=$?
  if [[ $code -ne $expected ]]; then
    echo "FAIL: $what: exit $code, expected $expected"; cat "$dir/out" "$dir/err"; failures=$((failures + 1))
  else
    echo "ok: $what"
  fi
}
url="postgresql://postgres@localhost:$port/postgres?sslmode=verify-full&sslrootcert=$dir/ca/ca.crt"
check "a station keeps records over verified TLS" 0 "$writer" "$url" 0 3
check "and reads them back" 0 "$vornctl" --records "$url" records list
grep -q "record-000002" "$dir/out" || { echo "FAIL: the records kept are not listed"; failures=$((failures + 1)); }
check "a CA that did not sign the server's certificate is refused" 3 "$vornctl" --records \
  "postgresql://postgres@localhost:$port/postgres?sslmode=verify-full&sslrootcert=$dir/other/ca.crt" \
  records list
grep -q "could not be verified" "$dir/err" || { echo "FAIL: no clear reason"; cat "$dir/err"; failures=$((failures + 1)); }
# libpq's own variables say the same where the URL says nothing.
check "PGSSLMODE and PGSSLROOTCERT are libpq's own" 0 env PGSSLMODE=verify-full \
  PGSSLROOTCERT="$dir/ca/ca.crt" "$vornctl" --records "postgresql://postgres@localhost:$port/postgres" records list

as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
start wrong
check "a server whose certificate names another host is refused" 3 "$vornctl" --records "$url" records list
grep -q "could not be verified" "$dir/err" || { echo "FAIL: no clear reason"; cat "$dir/err"; failures=$((failures + 1)); }
exit $((failures > 0))
