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
#
# A factory's pieces beside the server, when asked for:
#   VORN_TEST_PGBOUNCER=POOL        Debian's pgbouncer in front of it, pool_mode = transaction
#                                   with POOL server connections per database and user, handing
#                                   them round in turn; its URL in VORN_TEST_PGBOUNCER_URL
#   VORN_TEST_POSTGRES_STANDBY=1    a hot standby streaming from it, made by pg_basebackup -R;
#                                   its URL in VORN_TEST_POSTGRES_STANDBY_URL
#   VORN_TEST_POSTGRES_OPTIONS      more of the server's settings ("-c max_connections=20")
#   postgres_cluster.sh stop DIR                takes the server away in the middle of a run
#   postgres_cluster.sh start DIR               brings it back on the same port
set -euo pipefail

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[[ -x $bin/initdb ]] || { echo "postgres_cluster: no PostgreSQL server installed" >&2; exit 1; }

as_owner() {
  if [[ $(id -u) -eq 0 ]]; then runuser -u postgres -- "$@"; else "$@"; fi
}

# start_server DIR DATA PORT: the server of the data folder DIR/DATA on PORT.
start_server() {
  local dir=$1 data=$2 port=$3
  as_owner "$bin/pg_ctl" -D "$dir/$data" -l "$dir/$data.log" -w -t 30 -o \
    "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$dir -c fsync=${VORN_TEST_POSTGRES_FSYNC:-off} ${VORN_TEST_POSTGRES_OPTIONS:-}" \
    start >/dev/null
}

start() { start_server "$1" data "$(cat "$1/port")"; }

stop() {
  as_owner "$bin/pg_ctl" -D "$1/data" -m fast -w stop >/dev/null
}

# shellcheck source=../support/ports.sh
source "$(dirname "$(realpath "$0")")/../support/ports.sh"

cluster=""
cleanup() {
  [[ -n $cluster ]] || return 0
  stop_pgbouncer "$cluster"
  [[ ! -d $cluster/standby ]] ||
    as_owner "$bin/pg_ctl" -D "$cluster/standby" -m immediate -w stop >/dev/null 2>&1 || true
  stop "$cluster" 2>/dev/null || true
  rm -rf "$cluster"
}

# The pool: every database of the server, each user trusted as the server trusts them (the
# users the tests log in as are listed, as pgbouncer wants). A pgbouncer that cannot bind its
# port goes on with its Unix socket alone, and something else then answers on the port: only
# its own log says whether it listens, and one that does not is stopped before another port is
# tried (a second one would not start beside its pidfile).
start_pgbouncer() {
  local dir=$1 pool=$2 port tries=0
  printf '"%s" ""\n' postgres station_a technician_a dashboard_a >"$dir/pgbouncer.users"
  until ((++tries > 10)); do
    port=$(free_port)
    rm -f "$dir/pgbouncer.log"
    cat >"$dir/pgbouncer.ini" <<INI
[databases]
* = host=127.0.0.1 port=$(cat "$dir/port")
[pgbouncer]
listen_addr = 127.0.0.1
listen_port = $port
unix_socket_dir = $dir
auth_type = trust
auth_file = $dir/pgbouncer.users
pool_mode = transaction
default_pool_size = $pool
max_client_conn = 2000
server_round_robin = 1
logfile = $dir/pgbouncer.log
pidfile = $dir/pgbouncer.pid
INI
    [[ $(id -u) -ne 0 ]] || chown postgres "$dir/pgbouncer.ini" "$dir/pgbouncer.users"
    as_owner pgbouncer -d -q "$dir/pgbouncer.ini" 2>>"$dir/pgbouncer.err" || continue
    for _ in $(seq 50); do
      grep -qE "listening on 127\.0\.0\.1:$port\b|cannot listen on 127\.0\.0\.1:$port\b" \
        "$dir/pgbouncer.log" 2>/dev/null && break
      sleep 0.1
    done
    grep -q "listening on 127\.0\.0\.1:$port\b" "$dir/pgbouncer.log" && break
    stop_pgbouncer "$dir"
  done
  ((tries <= 10)) || { cat "$dir/pgbouncer.err" "$dir/pgbouncer.log" >&2; exit 1; }
  echo "$port" >"$dir/pgbouncer.port"
}

# stop_pgbouncer DIR: the pool ended, and its pidfile gone with it.
stop_pgbouncer() {
  local pid
  [[ -f $1/pgbouncer.pid ]] || return 0
  pid=$(cat "$1/pgbouncer.pid")
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  rm -f "$1/pgbouncer.pid"
}

# A port found free may be taken by another test's server before this one binds it: another
# is tried, as for the primary.
start_standby() {
  local dir=$1 port tries=0
  as_owner "$bin/pg_basebackup" -h 127.0.0.1 -p "$(cat "$dir/port")" -U postgres \
    -D "$dir/standby" -R -X stream --no-sync
  until ((++tries > 10)); do
    port=$(free_port)
    start_server "$dir" standby "$port" && break
  done
  ((tries <= 10)) || { cat "$dir/standby.log" >&2; exit 1; }
  echo "$port" >"$dir/standby.port"
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
    free_port >"$dir/port"
    start "$dir" && break
  done
  (( tries <= 10 )) || { cat "$dir/data.log" >&2; exit 1; }
  if [[ -n ${VORN_TEST_PGBOUNCER:-} ]]; then
    start_pgbouncer "$dir" "$VORN_TEST_PGBOUNCER"
    export VORN_TEST_PGBOUNCER_URL="postgresql://postgres@127.0.0.1:$(cat "$dir/pgbouncer.port")/postgres"
  fi
  if [[ -n ${VORN_TEST_POSTGRES_STANDBY:-} ]]; then
    start_standby "$dir"
    export VORN_TEST_POSTGRES_STANDBY_URL="postgresql://postgres@127.0.0.1:$(cat "$dir/standby.port")/postgres"
  fi
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
