#!/usr/bin/env bash
# Publishing over amqps:// to a private RabbitMQ node with TLS (run inside rabbitmq_node.sh):
# the broker's certificate, signed by a private CA, is checked against VORN_AMQP_CA and its
# name against the host dialled; a broker the station cannot verify gets nothing (exit 4, the
# messages wait in the spool).
#
#   rabbitmq_node.sh run amqps.sh VORNCTL RECORDS_WRITER
set -euo pipefail
vornctl=${1:?vornctl} writer=${2:?records-writer}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/vorn-amqps.XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data HOME=$work/home VORN_AMQP_PASSWORD=guest
"$writer" "sqlite:$work/records.sqlite" 0 2 >/dev/null
"$here/../support/tls_ca.sh" "$work/other" broker >/dev/null   # a CA that signed nothing of it

failures=0
check() { # WHAT EXPECTED-EXIT COMMAND...
  local what=$1 expected=$2 code=0
  shift 2
  "$@" >"$work/out" 2>"$work/err" || code=$?
  if [[ $code -ne $expected ]]; then
    echo "FAIL: $what: exit $code, expected $expected"; cat "$work/out" "$work/err"
    failures=$((failures + 1))
  else
    echo "ok: $what"
  fi
}
publish() { "$vornctl" --records "sqlite:$work/records.sqlite" records publish --publish "$1"; }

VORN_AMQP_CA=$work/other/ca.crt check "a broker signed by another CA gets nothing" 4 \
  publish "amqps://guest@localhost:$VORN_TEST_AMQPS_PORT/queue/tls"
VORN_AMQP_CA=$VORN_TEST_AMQP_CA check "the broker verified takes every message" 0 \
  publish "amqps://guest@localhost:$VORN_TEST_AMQPS_PORT/queue/tls"
grep -q "sent" "$work/out" || { echo "FAIL: nothing said sent"; failures=$((failures + 1)); }
exit $((failures > 0))
