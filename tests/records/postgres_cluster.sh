#!/usr/bin/env bash
# A private PostgreSQL cluster for the records tests: made in a temporary folder, listening on a
# free port of 127.0.0.1 only, run by an unprivileged user (PostgreSQL refuses root), and
# stopped and removed when the command ends, whether it passed, failed or crashed. Without
# fsync: the tests take the server away with a clean stop, never with a power cut (the
# benchmarks, which time durable commits, set VORN_TEST_POSTGRES_FSYNC=on).
#
#   postgres_cluster.sh run COMMAND [ARGS...]   runs COMMAND with VORN_TEST_POSTGRES_URL (the
#                                               superuser's URL), VORN_TEST_POSTGRES_DIR and
#                                               VORN_TEST_POSTGRES_SCRIPT (this script)
#   postgres_cluster.sh stop DIR                takes the server away in the middle of a run
#   postgres_cluster.sh start DIR               brings it back on the same port
set -euo pipefail

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[[ -x $bin/initdb ]] || { echo "postgres_cluster: no PostgreSQL server installed" >&2; exit 1; }

as_owner() {
  if [[ $(id -u) -eq 0 ]]; then runuser -u postgres -- "$@"; else "$@"; fi
}

start() {
  local dir=$1 port
  port=$(cat "$dir/port")
  as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/log" -w -t 30 -o \
    "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$dir -c fsync=${VORN_TEST_POSTGRES_FSYNC:-off}" \
    start >/dev/null
}

stop() {
  as_owner "$bin/pg_ctl" -D "$1/data" -m fast -w stop >/dev/null
}

port_in_use() { (: </dev/tcp/127.0.0.1/"$1") 2>/dev/null; }

cluster=""
cleanup() {
  [[ -z $cluster ]] || { stop "$cluster" 2>/dev/null || true; rm -rf "$cluster"; }
}

run() {
  local dir tries=0
  dir=$(mktemp -d /tmp/vorn-postgres.XXXXXX)
  cluster=$dir
  trap cleanup EXIT
  chmod 755 "$dir"
  [[ $(id -u) -ne 0 ]] || chown postgres "$dir"
  as_owner "$bin/initdb" -D "$dir/data" -A trust -U postgres --no-sync >/dev/null
  # A user who must give a password, for the authentication tests; everyone else is trusted.
  sed -i '1i host all locked 127.0.0.1/32 scram-sha-256' "$dir/data/pg_hba.conf"
  until (( ++tries > 10 )); do
    echo $((20000 + RANDOM % 30000)) >"$dir/port"
    port_in_use "$(cat "$dir/port")" && continue
    start "$dir" && break
  done
  (( tries <= 10 )) || { cat "$dir/log" >&2; exit 1; }
  VORN_TEST_POSTGRES_URL="postgresql://postgres@127.0.0.1:$(cat "$dir/port")/postgres" \
    VORN_TEST_POSTGRES_DIR=$dir VORN_TEST_POSTGRES_SCRIPT=$(realpath "$0") "$@"
}

command=${1:?run, stop or start}
shift
case $command in
run) run "$@" ;;
stop) stop "${1:?cluster folder}" ;;
start) start "${1:?cluster folder}" ;;
*) echo "postgres_cluster: unknown command $command" >&2; exit 2 ;;
esac
