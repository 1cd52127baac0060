# Shared by the load benchmarks (sourced, with here set to bench/): a work
# directory under /tmp, and throw-away PostgreSQL and MariaDB servers in it
# on Unix sockets with their default durability, MariaDB with a database
# named bench; all stopped and removed when the script ends.
#   . "$here/servers.sh"; start_servers NAME     (sets work)
stop_servers() {
  "$here/../tests/db/postgres_cluster.sh" stop "$work/pg" > /dev/null 2>&1 || true
  "$here/../tests/db/mariadb_server.sh" stop "$work/mariadb" > /dev/null 2>&1 || true
  rm -rf "$work"
}

start_servers() {
  work=$(mktemp -d "/tmp/rowsmith-$1-XXXXXX")
  chmod 755 "$work"
  export ROWSMITH_DB_DURABLE=1
  trap stop_servers EXIT
  "$here/../tests/db/postgres_cluster.sh" start "$work/pg" > /dev/null
  "$here/../tests/db/mariadb_server.sh" start "$work/mariadb" > /dev/null
  echo "CREATE DATABASE bench;" | mariadb --no-defaults --socket="$work/mariadb/sock" -uroot
}
