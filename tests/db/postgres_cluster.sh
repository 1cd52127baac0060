#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the round-trip tests, listening on a
# Unix socket in DIR only:  postgres_cluster.sh start|stop DIR
# Without a PostgreSQL server on the machine, start says so and does nothing;
# the tests then skip with that message.
set -euo pipefail
action=$1
dir=$2
bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
# Durability is of no use to a throw-away server; a benchmark asks for it
# with ROWSMITH_DB_DURABLE=1, to measure what users see.
durability="-c fsync=off"
[ "${ROWSMITH_DB_DURABLE:-0}" = 1 ] && durability=""
as_owner=()
if [ "$(id -u)" -eq 0 ]; then as_owner=(runuser -u postgres --); fi

case "$action" in
  start)
    rm -rf "$dir"
    if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
      echo "no PostgreSQL server installed; the PostgreSQL round trip will be skipped"
      exit 0
    fi
    mkdir -p "$dir"
    chmod 700 "$dir"
    [ ${#as_owner[@]} -eq 0 ] || chown postgres: "$dir"
    # SQL_ASCII keeps every byte but NUL as it is, whatever its encoding.
    "${as_owner[@]}" "$bindir/initdb" -D "$dir/data" -E SQL_ASCII --locale=C -A trust -U postgres \
      > "$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log"; exit 1; }
    "${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
      -o "-k $dir -c listen_addresses='' $durability" start > /dev/null ||
      { cat "$dir/server.log"; exit 1; }
    touch "$dir/ready"
    ;;
  stop)
    if [ -f "$dir/data/postmaster.pid" ]; then
      "${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -m immediate stop > /dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    rmdir "$(dirname "$dir")" 2>/dev/null || true  # the last server of a run takes their folder
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
