#!/usr/bin/env bash
# A PostgreSQL server of the tests' own, in a temporary folder, for the
# server tests:
#     eval "$(bash scripts/pg-test-server.sh start)"
#     ...                                   # tests read VELMORA_TEST_PG
#     bash scripts/pg-test-server.sh stop "$VELMORA_TEST_PG_DIR"
# start prints the shell lines to evaluate: VELMORA_TEST_PG (a libpq
# connection string without dbname) and VELMORA_TEST_PG_DIR; where no server
# can be started, VELMORA_TEST_PG_UNAVAILABLE saying why, which the server
# tests show when they skip. Nothing else goes to standard output.
#
# The cluster belongs to the postgres user when run as root (initdb refuses
# root), to the caller otherwise. It listens on a socket in its own folder
# only (no TCP), trusts local connections, runs without jit, and holds the
# template database velmora_template made from data/schema-pg.sql; each test
# makes a database of its own from that template. stop ends that server by
# the pid in its own folder and removes the folder: a server the machine runs
# otherwise is never touched.
set -euo pipefail
script=$(readlink -f "$0")
root=$(dirname "$(dirname "$script")")
bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)

# Only folders this script made are ever removed.
ours() {
  case "$1" in
  */velmora-pg.*) [ -f "$1/velmora-pg-test-server" ] ;;
  *) return 1 ;;
  esac
}

unavailable() {
  local why=$1
  printf "export VELMORA_TEST_PG_UNAVAILABLE=%q\n" "$why"
  echo "pg-test-server: $why" >&2
  exit 0
}

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

stop() {
  local dir=$1
  ours "$dir" || { echo "pg-test-server: not a test server's folder: $dir" >&2; return 1; }
  if [ -f "$dir/data/postmaster.pid" ] && [ -n "$bindir" ]; then
    # pg_ctl signals the pid recorded in this cluster's own postmaster.pid.
    as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w -t 30 stop >/dev/null 2>&1 || {
      pid=$(head -n 1 "$dir/data/postmaster.pid" 2>/dev/null || true)
      [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
    }
  fi
  rm -rf "$dir"
}

# A port nothing on this machine listens on, though the server takes no TCP
# connections: its number names the socket, and stays free for a later
# listen_addresses.
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

case "${1:-}" in
start)
  [ -n "$bindir" ] || unavailable "no PostgreSQL server installed (apt-get install postgresql)"
  if [ "$(id -u)" -eq 0 ] && ! id postgres >/dev/null 2>&1; then
    unavailable "run as root, and there is no user postgres to own the server"
  fi
  dir=$(mktemp -d "${TMPDIR:-/tmp}/velmora-pg.XXXXXX")
  touch "$dir/velmora-pg-test-server"
  # A failing step leaves nothing running and nothing behind.
  trap 'stop "$dir"' ERR
  chmod 755 "$dir"
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres "$dir"
    if ! runuser -u postgres -- test -w "$dir"; then
      stop "$dir"
      unavailable "the user postgres cannot write $dir (set TMPDIR to a folder it can reach)"
    fi
  fi
  as_owner "$bindir/initdb" -D "$dir/data" -E UTF8 --locale=C.UTF-8 -A trust -U postgres \
    >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; false; }
  port=$(free_port)
  as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-k $dir -p $port -c listen_addresses='' -c jit=off -c max_connections=100 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c wal_level=minimal -c max_wal_senders=0" \
    start >/dev/null || { cat "$dir/server.log" >&2; false; }
  conn="host=$dir port=$port user=postgres"
  "$bindir/psql" -X -q -v ON_ERROR_STOP=1 "$conn dbname=postgres" \
    -c "CREATE DATABASE velmora_template IS_TEMPLATE true" >/dev/null
  "$bindir/psql" -X -q -v ON_ERROR_STOP=1 -f "$root/data/schema-pg.sql" "$conn dbname=velmora_template" >/dev/null
  "$bindir/psql" -X -q -v ON_ERROR_STOP=1 -f "$root/tests/support/sqlite-compat.sql" \
    "$conn dbname=velmora_template" >/dev/null
  trap - ERR
  printf "export VELMORA_TEST_PG=%q VELMORA_TEST_PG_DIR=%q\n" "$conn" "$dir"
  ;;
stop)
  dir=${2:-${VELMORA_TEST_PG_DIR:-}}
  [ -n "$dir" ] || exit 0
  [ -d "$dir" ] || exit 0
  stop "$dir"
  ;;
*)
  echo "usage: pg-test-server.sh start | stop [folder]" >&2
  exit 2
  ;;
esac
