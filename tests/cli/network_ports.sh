#!/usr/bin/env bash
# vornctl through Debian's real ser2net (RFC 2217) in front of vorn-emulator pseudo-terminals:
# every command and a checkout give through the server what they give on a terminal of a reader
# alike (never the same terminal: ser2net holds it a moment after each connection), 0xFF passes
# (through socket:// as well),
# eight readers are checked at once through one server, a port another client holds and a name
# that does not resolve are open failures (exit 3), and a server stopped in the middle of a
# checkout ends it within 2 s with its record kept.
set -euo pipefail
vornctl=${1:?path to vornctl}
emulator=${2:?path to vorn-emulator}

work=$(mktemp -d)
pids=()
trap 'for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config HOME=$work/home XDG_DATA_HOME=$work/data
mkdir -p "$HOME"
# Below the kernel's ephemeral ports (32768 and up), which a connection may hold at any time.
base=$((20000 + ($$ % 1200) * 10))
readers=8
fail() { echo "FAIL: $*" && exit 1; }
# wait_for CONDITION...: polls a shell condition for up to 10 s.
wait_for() {
  for _ in $(seq 200); do eval "$*" && return 0; sleep 0.05; done
  return 1
}
# net N: the port of reader N (1-8) through ser2net; reader0 is reached on its terminal only.
net() { echo "rfc2217://127.0.0.1:$((base + $1))"; }
# same COMMAND...: runs it twice when the first outcomes differ: under a heavy load a reply
# through the extra process and the loopback may miss the 50 ms the protocol gives it.
same() {
  "$@" && return 0
  echo "note: retrying once: $*"
  "$@"
}

raw=$((readers + 1)) # the reader behind a raw TCP port, socket://127.0.0.1:$base
for i in $(seq 0 "$raw"); do
  "$emulator" --link "$work/reader$i" >/dev/null &
  pids+=($!)
  wait_for "[[ -e $work/reader$i ]]" || fail "vorn-emulator did not start"
done

# shellcheck source=../support/ports.sh
source "$(dirname "$(realpath "$0")")/../support/ports.sh"

start_ser2net() {
  {
    printf '%%YAML 1.1\n---\n'
    for i in $(seq "$readers"); do
      printf 'connection: &reader%d\n    accepter: telnet(rfc2217),tcp,127.0.0.1,%d\n' "$i" $((base + i))
      printf '    enable: on\n    options:\n      kickolduser: false\n'
      printf '    connector: serialdev,%s,9600n81,local\n' "$(readlink -f "$work/reader$i")"
    done
    printf 'connection: &raw\n    accepter: tcp,127.0.0.1,%d\n    enable: on\n' "$base"
    printf '    connector: serialdev,%s,9600n81,local\n' "$(readlink -f "$work/reader$raw")"
  } >"$work/ser2net.yaml"
  ser2net -n -u -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >"$work/ser2net.log" 2>&1 &
  ser2net_pid=$!
  pids+=($ser2net_pid)
  wait_for "listening $(seq -s ' ' "$base" $((base + readers)))" ||
    fail "ser2net did not listen: $(cat "$work/ser2net.log")"
}
start_ser2net

# Every command on reader0's terminal and on reader1 through the server: the same output and
# exit code.
compare_command() {
  local local_out net_out
  # shellcheck disable=SC2086
  local_out=$("$vornctl" --json --port "$work/reader0" $1 2>&1; echo "exit $?")
  # shellcheck disable=SC2086
  net_out=$("$vornctl" --json --trace --port "$(net 1)" $1 2>"$work/trace"; echo "exit $?")
  [[ "$local_out" == "$net_out" ]] && return 0
  echo "$1: '$local_out' on the terminal, '$net_out' through ser2net: $(cat "$work/trace")"
  return 1
}
commands=("info" "status" "select-slot 3" "status" "clocks"
  "set-clocks 3.57 3.68 6.00 8.00 3.57 3.68 6.00 8.00" "clocks" "store-clocks 8.00 8.00 8.00 8.00 8.00 8.00 8.00 8.00"
  "time" "set-time 100" "time" "echo A" "echo ÿ" "char 65" "text AB" "display-test"
  "tarvik-status" "tarvik-select-slot 2" "status" "lines" "dtr on" "dtr off" "rts on" "rts off")
for command in "${commands[@]}"; do
  same compare_command "$command" || fail "$command differs through ser2net"
done
# ser2net in front of a terminal never answers a DTR change: told once, and the command works.
warning=$("$vornctl" --port "$(net 1)" clocks 2>&1 >/dev/null)
[[ "$warning" == "$(net 1): the serial server does not drive DTR/RTS" ]] ||
  fail "not the one warning that DTR/RTS are not driven: '$warning'"

# A checkout: the same steps, outcomes and measurements as on the terminal.
checkout_steps() {
  "$vornctl" --no-records --json checkout --no-prompt --port "$1" 2>/dev/null |
    python3 -c 'import json,sys
for r in json.load(sys.stdin)["readers"]:
    print(r["outcome"], r["restored"], r["serial"])
    for s in r["steps"]:
        print(s["name"], s["outcome"], s["measured"], s["message"])'
}
compare_checkout() {
  local on_terminal through_server
  on_terminal=$(checkout_steps "$work/reader0")
  through_server=$(checkout_steps "$(net 1)")
  [[ "$on_terminal" == "$through_server" ]] && return 0
  echo "on the terminal: $on_terminal -- through ser2net: $through_server"
  return 1
}
same compare_checkout || fail "the checkout differs through ser2net"

# Eight readers through one server at once.
check_eight() {
  local ports=() i
  for i in $(seq "$readers"); do ports+=(--port "$(net "$i")"); done
  "$vornctl" --no-records checkout --no-prompt "${ports[@]}" >"$work/eight" 2>&1 &&
    (($(grep -c '^PASS' "$work/eight") == readers)) && return 0
  cat "$work/eight"
  return 1
}
same check_eight || fail "eight readers through ser2net"

# Raw bytes through a plain TCP port: 0xFF passes as it is, the reader answers as on its terminal.
raw_echo=$("$vornctl" --json --port "socket://127.0.0.1:$base" echo ÿ 2>&1) || true
[[ "$raw_echo" == '{"echoed":"ÿ","sent":"ÿ"}' ]] || fail "echo through socket://: $raw_echo"

# A port another client holds: the server's words, exit 3.
exec 3<>"/dev/tcp/127.0.0.1/$((base + 1))"
status=0
"$vornctl" --port "$(net 1)" status 2>"$work/busy" || status=$?
exec 3>&-
((status == 3)) || fail "a port in use gave exit $status"
grep -q 'says "Port already in use"' "$work/busy" || fail "in use: $(cat "$work/busy")"

status=0
"$vornctl" --port rfc2217://no-such-host.invalid:4000 status 2>/dev/null || status=$?
((status == 3)) || fail "a name that does not resolve gave exit $status"

# The server stopped in the middle of a checkout, after the selected slot was changed.
records=sqlite:$work/records.sqlite
"$vornctl" --records "$records" --trace checkout --no-prompt --echo all --port "$(net 2)" \
  >"$work/stopped" 2>"$work/trace" &
checkout_pid=$!
wait_for "grep -q clocks '$work/trace'" || fail "the checkout did not reach the clocks"
kill "$ser2net_pid"
stopped_at=$(date +%s%N)
status=0
wait "$checkout_pid" || status=$?
elapsed_ms=$((($(date +%s%N) - stopped_at) / 1000000))
((status == 1)) || fail "the interrupted checkout gave exit $status"
((elapsed_ms <= 2000)) || fail "the checkout ended $elapsed_ms ms after the server stopped"
grep -q 'could not be put back as found' "$work/stopped" || fail "not said: $(cat "$work/stopped")"
"$vornctl" --records "$records" records list --outcome error | grep -q "$(net 2)" ||
  fail "no record of the interrupted checkout"
echo "network ports through ser2net: all passed (interrupted checkout ended in $elapsed_ms ms)"
