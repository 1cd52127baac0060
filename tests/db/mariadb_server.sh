#!/usr/bin/env bash
# A throw-away MariaDB server for the round-trip tests, in its default
# sql_mode and with the character set Debian's own configuration gives it
# (utf8mb4), listening on a Unix socket in DIR only (no networking):
#   mariadb_server.sh start|stop DIR
# Without a MariaDB server on the machine, start says so and does nothing;
# the tests then skip with that message.
set -euo pipefail
action=$1
dir=$2
server=$(command -v mariadbd || ls /usr/sbin/mariadbd 2>/dev/null || true)
user=()
if [ "$(id -u)" -eq 0 ]; then user=(--user=mysql); fi

case "$action" in
  start)
    rm -rf "$dir"
    if [ -z "$server" ] || ! command -v mariadb-install-db > /dev/null; then
      echo "no MariaDB server installed; the MariaDB round trip will be skipped"
      exit 0
    fi
    # Temporary tables go in DIR too: servers of runs side by side never
    # meet in /tmp.
    mkdir -p "$dir/tmp"
    [ ${#user[@]} -eq 0 ] || chown -R mysql: "$dir"
    mariadb-install-db --no-defaults "${user[@]}" --datadir="$dir/data" --tmpdir="$dir/tmp" \
      --auth-root-authentication-method=normal \
      --skip-test-db > "$dir/install.log" 2>&1 || { cat "$dir/install.log"; exit 1; }
    # Durability is of no use to a throw-away server; a benchmark asks for
    # it with ROWSMITH_DB_DURABLE=1, to measure what users see.
    flush=0
    [ "${ROWSMITH_DB_DURABLE:-0}" = 1 ] && flush=1
    "$server" --no-defaults "${user[@]}" --datadir="$dir/data" --tmpdir="$dir/tmp" --socket="$dir/sock" --skip-networking \
      --pid-file="$dir/server.pid" --log-error="$dir/server.log" --innodb-flush-log-at-trx-commit=$flush \
      --innodb-buffer-pool-size=128M --local-infile=1 --character-set-server=utf8mb4 \
      --collation-server=utf8mb4_general_ci > /dev/null 2>&1 &
    for _ in $(seq 1 300); do
      if mariadb-admin --no-defaults --socket="$dir/sock" -uroot ping > /dev/null 2>&1; then
        touch "$dir/ready"
        exit 0
      fi
      sleep 0.1
    done
    cat "$dir/server.log" 2>/dev/null || true
    exit 1
    ;;
  stop)
    if [ -f "$dir/server.pid" ]; then
      pid=$(cat "$dir/server.pid")
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$pid" 2>/dev/null || true
    fi
    rm -rf "$dir"
    rmdir "$(dirname "$dir")" 2>/dev/null || true  # the last server of a run takes their folder
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
