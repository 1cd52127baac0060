#!/usr/bin/env bash
# Load time against statement size: one generated CSV (ROWS rows of about
# 180 bytes) loaded with --transaction into SQLite, PostgreSQL and MariaDB
# through their own clients as the README runs them, at several
# --rows-per-insert, and at --rows-per-insert 1000 under several
# --max-statement-bytes; the default batch (--rows-per-insert 1000 and no
# byte limit) and each database's bulk loader beside them. Medians of three.
# The servers are throw-away ones on Unix sockets, with their default
# durability.
#   bench/sizes.sh [BUILD_DIR]     (ROWS=200000, DBS="sqlite postgresql mysql" by default)
set -euo pipefail
build=${1:-build-bench}
rows=${ROWS:-200000}
here=$(cd "$(dirname "$0")" && pwd)
convert="$build/rowsmith-convert"
. "$here/servers.sh"
start_servers sizes

awk -v rows="$rows" 'BEGIN { srand(7); for (i = 1; i <= rows; i++) { s = ""; for (j = 0; j < 12; j++) s = s sprintf("%c", 97 + int(rand() * 26));
  printf "%d,\"O'"'"'Brien, %s\",%s %s,%d.%02d,\"said hi, left on %d\",%s\r\n", i, s, s, s s s s s, i % 99991, i % 100, i, s s s s s } }' \
  > "$work/input.csv"
[ "$(id -u)" -eq 0 ] && chown postgres: "$work/input.csv"
echo "input: $rows rows of $(( $(stat -c %s "$work/input.csv") / rows )) bytes"

table="t ( a text, b text, c text, d text, e text, f text )"
client() {
  case $1 in
    sqlite) sqlite3 "$work/bench.db" ;;
    postgresql) psql -X -q -h "$work/pg" -U postgres -d postgres ;;
    mysql) mariadb --no-defaults --socket="$work/mariadb/sock" -uroot --local-infile=1 bench ;;
  esac
}
fresh() {
  [ "$1" = sqlite ] && rm -f "$work/bench.db"
  echo "DROP TABLE IF EXISTS t; CREATE TABLE $table;" | client "$1" > /dev/null 2>&1
}
# The median of three loads of script into a fresh table of db, in seconds.
load3() {
  local db=$1 script=$2 times="" start end
  for round in 1 2 3; do
    fresh "$db"
    sync
    start=$(date +%s.%N)
    client "$db" < "$script" > /dev/null
    end=$(date +%s.%N)
    times="$times $(echo "$end - $start" | bc -l)"
  done
  printf '%s\n' $times | sort -g | sed -n 2p
}
script() { # db, then the options: the script of the input in that form
  local db=$1; shift
  rm -f "$work/x.sql"
  "$convert" -t t -f "a,b,c,d,e,f" --dialect "$db" --transaction "$@" -o "$work/x.sql" "$work/input.csv" 2> /dev/null
  echo "$work/x.sql"
}

for db in ${DBS:-sqlite postgresql mysql}; do
  echo
  printf '%-40s %8s\n' "$db" "seconds"
  for n in 10 50 100 200 500 1000; do
    printf '%-40s %8.2f\n' "--rows-per-insert $n" "$(load3 $db "$(script $db --rows-per-insert $n)")"
    rm -f "$work/x.sql"
  done
  for b in 8192 16384 32768 65536 262144 1048576; do
    printf '%-40s %8.2f\n' "--rows-per-insert 1000 --max-statement-bytes $b" \
      "$(load3 $db "$(script $db --rows-per-insert 1000 --max-statement-bytes $b)")"
    rm -f "$work/x.sql"
  done
  case $db in
    sqlite) printf '.import --csv %s t\n' "$work/input.csv" > "$work/bulk.sql" ;;
    postgresql) printf "\\\\copy t FROM '%s' WITH (FORMAT csv)\n" "$work/input.csv" > "$work/bulk.sql" ;;
    mysql) printf "LOAD DATA LOCAL INFILE '%s' INTO TABLE t FIELDS TERMINATED BY ',' OPTIONALLY ENCLOSED BY '\"' LINES TERMINATED BY '\\\\r\\\\n';\n" "$work/input.csv" > "$work/bulk.sql" ;;
  esac
  printf '%-40s %8.2f\n' "bulk loader" "$(load3 $db "$work/bulk.sql")"
  if [ "$db" = sqlite ]; then
    # What a script could set for its own load: inside one transaction into
    # a fresh table, the journal and syncs are not where the time goes.
    { echo "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"; cat "$(script $db --rows-per-insert 500)"; } \
      > "$work/pragmas.sql"
    printf '%-40s %8.2f\n' "--rows-per-insert 500, journal and sync off" "$(load3 $db "$work/pragmas.sql")"
    rm -f "$work/x.sql"
  fi
  printf '%-40s %8.2f\n' "default: --rows-per-insert 1000" "$(load3 $db "$(script $db --rows-per-insert 1000)")"
done
