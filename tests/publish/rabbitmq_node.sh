#!/usr/bin/env bash
# A private RabbitMQ node with its AMQP 1.0 plugin for the publishing tests: made in a temporary
# folder (its data, logs and Erlang cookie), on free ports of 127.0.0.1 only, run as the calling
# user from the server's own scripts (Debian's /usr/sbin wrapper would switch to the system's
# rabbitmq user and its cookie), and stopped and removed when the command ends, whether it
# passed, failed or crashed, together with the port mapper daemon it started.
#
#   rabbitmq_node.sh run COMMAND [ARGS...]   runs COMMAND with VORN_TEST_AMQP_PORT (the node's
#                                            AMQP port; user guest, password guest),
#                                            VORN_TEST_AMQPS_PORT (the same over TLS, with a
#                                            certificate for localhost signed by the private CA
#                                            VORN_TEST_AMQP_CA; tests/support/tls_ca.sh),
#                                            VORN_TEST_RABBITMQ_DIR and
#                                            VORN_TEST_RABBITMQ_SCRIPT (this script)
#   rabbitmq_node.sh stop DIR                takes the broker away in the middle of a run
#   rabbitmq_node.sh start DIR               brings it back on the same ports and data
set -euo pipefail

bin=/usr/lib/rabbitmq/bin
[[ -x $bin/rabbitmq-server ]] || { echo "rabbitmq_node: rabbitmq-server is not installed" >&2; exit 1; }

# shellcheck source=../support/ports.sh
source "$(dirname "$(realpath "$0")")/../support/ports.sh"

# The node's whole environment, kept in the folder so that stop and start find the same node.
write_environment() {
  local dir=$1 amqp=$2 dist=$3 epmd=$4 amqps=$5
  mkdir -p "$dir/mnesia" "$dir/log" "$dir/home"
  echo '[rabbitmq_amqp1_0].' >"$dir/enabled_plugins"
  [[ -f $dir/ca/broker.crt ]] || "$(dirname "$(realpath "$0")")/../support/tls_ca.sh" "$dir/ca" broker
  cat >"$dir/rabbitmq.conf" <<EOF
listeners.tcp.default = 127.0.0.1:$amqp
listeners.ssl.default = 127.0.0.1:$amqps
ssl_options.cacertfile = $dir/ca/ca.crt
ssl_options.certfile = $dir/ca/broker.crt
ssl_options.keyfile = $dir/ca/broker.key
ssl_options.verify = verify_none
ssl_options.fail_if_no_peer_cert = false
log.console = false
EOF
  cat >"$dir/environment" <<EOF
export RABBITMQ_NODENAME=vorntest$amqp@localhost
export RABBITMQ_NODE_IP_ADDRESS=127.0.0.1
export RABBITMQ_NODE_PORT=$amqp
export RABBITMQ_DIST_PORT=$dist
export ERL_EPMD_PORT=$epmd
export ERL_EPMD_ADDRESS=127.0.0.1
export RABBITMQ_MNESIA_BASE=$dir/mnesia
export RABBITMQ_LOG_BASE=$dir/log
export RABBITMQ_PID_FILE=$dir/pid
export RABBITMQ_ENABLED_PLUGINS_FILE=$dir/enabled_plugins
export RABBITMQ_CONFIG_FILE=$dir/rabbitmq.conf
export RABBITMQ_CONF_ENV_FILE=$dir/no-env-file
export HOME=$dir/home
EOF
  echo "$amqp" >"$dir/port"
  echo "$amqps" >"$dir/tls-port"
}

ctl() {
  local dir=$1
  shift
  (source "$dir/environment" && "$bin/rabbitmqctl" -q -n "$RABBITMQ_NODENAME" "$@")
}

start() {
  local dir=$1
  rm -f "$dir/pid"
  (source "$dir/environment" && exec "$bin/rabbitmq-server" >>"$dir/server.out" 2>&1) &
  if ! ctl "$dir" wait "$dir/pid" --timeout 90 >/dev/null; then
    echo "rabbitmq_node: the node did not start; its output:" >&2
    tail -n 40 "$dir/server.out" "$dir"/log/*.log >&2 2>/dev/null || true
    return 1
  fi
}

stop() {
  local dir=$1
  [[ -f $dir/pid ]] || return 0
  ctl "$dir" stop "$dir/pid" >/dev/null
}

# The port mapper the node started on its private port.
stop_epmd() {
  local dir=$1 port pid
  port=$(source "$dir/environment" && echo "$ERL_EPMD_PORT")
  for pid in $(pgrep -x epmd || true); do
    if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "ERL_EPMD_PORT=$port"; then
      kill "$pid" 2>/dev/null || true
    fi
  done
}

node=""
cleanup() {
  [[ -n $node ]] || return 0
  stop "$node" 2>/dev/null || true
  stop_epmd "$node"
  rm -rf "$node"
}

run() {
  local dir tries=0
  dir=$(mktemp -d /tmp/vorn-rabbitmq.XXXXXX)
  node=$dir
  trap cleanup EXIT
  until (( ++tries > 5 )); do
    write_environment "$dir" "$(free_port)" "$(free_port)" "$(free_port)" "$(free_port)"
    start "$dir" && break
    stop "$dir" 2>/dev/null || true
  done
  (( tries <= 5 )) || exit 1
  VORN_TEST_AMQP_PORT=$(cat "$dir/port") VORN_TEST_AMQPS_PORT=$(cat "$dir/tls-port") \
    VORN_TEST_AMQP_CA=$dir/ca/ca.crt VORN_TEST_RABBITMQ_DIR=$dir \
    VORN_TEST_RABBITMQ_SCRIPT=$(realpath "$0") "$@"
}

command=${1:?run, stop or start}
shift
case $command in
run) run "$@" ;;
stop) stop "${1:?node folder}" ;;
start) start "${1:?node folder}" ;;
*) echo "rabbitmq_node: unknown command $command" >&2; exit 2 ;;
esac
