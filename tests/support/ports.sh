# shellcheck shell=bash
# Ports for the servers the tests start of their own (sourced, not run).
#
# A port is taken below the kernel's ephemeral ports: any client connection of a test running
# alongside holds one of those as its own end, and a server asked to bind it then fails or, as
# pgbouncer does, goes on without its TCP listener.

# port_in_use PORT: true when something accepts on 127.0.0.1:PORT.
port_in_use() { (: </dev/tcp/127.0.0.1/"$1") 2>/dev/null; }

# listening PORT...: true when a socket listens on every PORT, read from the kernel's tables of
# TCP sockets (state 0A), without a probe connection the server would see (ser2net would open
# the reader's terminal for it and hold it).
listening() {
  local port
  for port in "$@"; do
    grep -qhE "^ *[0-9]+: [0-9A-F]+:$(printf '%04X' "$port") [0-9A-F]+:0000 0A " \
      /proc/net/tcp /proc/net/tcp6 2>/dev/null || return 1
  done
}

# free_port: a port of 10000 and up, below the ephemeral ones, that nothing listens on now.
free_port() {
  local first port
  read -r first _ </proc/sys/net/ipv4/ip_local_port_range
  ((first > 11000)) || first=32768
  while :; do
    port=$((10000 + RANDOM % (first - 10000)))
    listening "$port" || { echo "$port"; return; }
  done
}
