#!/usr/bin/env bash
# Loads one generated CSV of 500,000 rows into SQLite, PostgreSQL and MariaDB
# three ways: rowsmith-convert's one-row statements (a 20,000-row slice,
# timed once and scaled), its --rows-per-insert 500 --transaction form, and
# each database's own bulk loader (median of three each); for PostgreSQL
# also the --copy script. Then into a table keyed on id: the batched form
# into it empty, and --on-conflict update into it empty and full (every key
# held already), and ignore into it full. The servers are throw-away ones on
# Unix sockets, with their default durability.
#   bench/load.sh [BUILD_DIR]     (ROWS=500000 SLICE=20000 by default)
set -euo pipefail
build=${1:-build-bench}
rows=${ROWS:-500000}
slice=${SLICE:-20000}
here=$(cd "$(dirname "$0")" && pwd)
convert="$build/rowsmith-convert"
. "$here/servers.sh"
start_servers load

python3 - "$rows" "$work/input.csv" <<'PY'
import random, sys
rows, path = int(sys.argv[1]), sys.argv[2]
random.seed(20261208)
names = ["O'Brien", "Smith", "D'Angelo", "Nguyen", "M\u00fcller", "Garc\u00eda", "Kowalski", "Tanaka"]
cities = ['"Portland, OR"', "Berlin", '"S\u00e3o Paulo, SP"', "", "Kyoto", "Cork"]
with open(path, "w", encoding="utf-8", newline="") as out:
    for i in range(rows):
        out.write(f'{i},{random.choice(names)},{random.choice(cities)},{random.randint(0, 99999)}.{random.randint(0, 99):02d},'
                  f'"said hi, left"\r\n')
PY
head -n "$slice" "$work/input.csv" > "$work/slice.csv"
echo "input: $rows rows, $(stat -c %s "$work/input.csv") bytes; one-row form timed on $slice rows and scaled"

[ "$(id -u)" -eq 0 ] && chown postgres: "$work/input.csv"

fields="id, name, city, amount, note"
seconds() {
  local start end
  sync
  start=$(date +%s.%N)
  "$@" > /dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
sqlite_run() { sqlite3 -bail "$work/bench.db"; }
pg_run() { psql -X -q -h "$work/pg" -U postgres -d postgres -v ON_ERROR_STOP=1; }
maria_run() { mariadb --no-defaults --socket="$work/mariadb/sock" -uroot --local-infile=1 bench; }

# Each database: make the table empty, then run what comes on standard input.
fresh() {
  case $1 in
    sqlite) rm -f "$work/bench.db"
            echo "CREATE TABLE t ( id text, name text, city text, amount text, note text );" | sqlite_run ;;
    pg) echo "DROP TABLE IF EXISTS t; CREATE TABLE t ( id text, name text, city text, amount text, note text );" | pg_run ;;
    maria) echo "DROP TABLE IF EXISTS t; CREATE TABLE t ( id text, name text, city text, amount text, note text );" |
             maria_run ;;
  esac
}
# The same table with id as its primary key.
keyed() {
  local key=text
  [ "$1" = maria ] && key="varchar(20)"
  case $1 in
    sqlite) rm -f "$work/bench.db"
            echo "CREATE TABLE t ( id $key PRIMARY KEY, name text, city text, amount text, note text );" | sqlite_run ;;
    *) echo "DROP TABLE IF EXISTS t; CREATE TABLE t ( id $key PRIMARY KEY, name text, city text, amount text, note text );" |
         "${1}_run" ;;
  esac
}
load() { fresh "$1"; seconds "${1}_run" < "$2"; }
loadKeyed() { keyed "$1"; seconds "${1}_run" < "$2"; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# The median of three loads of a file; the table holds one load afterwards.
load3() { median "$(load "$1" "$2")" "$(load "$1" "$2")" "$(load "$1" "$2")"; }
count() {
  case $1 in
    sqlite) echo "SELECT count(*) FROM t;" | sqlite3 "$work/bench.db" ;;
    pg) echo "SELECT count(*) FROM t;" | psql -X -q -t -A -h "$work/pg" -U postgres -d postgres ;;
    maria) echo "SELECT count(*) FROM t;" | mariadb --no-defaults --socket="$work/mariadb/sock" -uroot -N bench ;;
  esac
}

declare -A one batch bulk copy keyedBatch upsertEmpty upsertFull ignoreFull
for db in sqlite pg maria; do
  dialect=standard
  [ $db = maria ] && dialect=mysql
  "$convert" -t t -f "$fields" --dialect $dialect -o "$work/slice-$db.sql" "$work/slice.csv"
  "$convert" -t t -f "$fields" --dialect $dialect --rows-per-insert 500 --transaction -o "$work/batch-$db.sql" \
    "$work/input.csv"
  t=$(load $db "$work/slice-$db.sql")
  [ "$(count $db)" -eq "$slice" ] || { echo "$db: the one-row slice did not load whole" >&2; exit 1; }
  one[$db]=$(echo "$t * $rows / $slice" | bc -l)
  batch[$db]=$(load3 $db "$work/batch-$db.sql")
  [ "$(count $db)" -eq "$rows" ] || { echo "$db: the batched form did not load whole" >&2; exit 1; }
  case $db in
    sqlite) printf '.import --csv %s t\n' "$work/input.csv" > "$work/bulk-$db.sql" ;;
    pg) printf "\\\\copy t FROM '%s' WITH (FORMAT csv)\n" "$work/input.csv" > "$work/bulk-$db.sql" ;;
    maria) printf "LOAD DATA LOCAL INFILE '%s' INTO TABLE t FIELDS TERMINATED BY ',' OPTIONALLY ENCLOSED BY '\"' LINES TERMINATED BY '\\\\r\\\\n';\n" "$work/input.csv" > "$work/bulk-$db.sql" ;;
  esac
  bulk[$db]=$(load3 $db "$work/bulk-$db.sql")
  [ "$(count $db)" -eq "$rows" ] || { echo "$db: the bulk loader did not load every row" >&2; exit 1; }
  if [ $db = pg ]; then
    "$convert" -t t -f "$fields" --dialect postgresql --copy --transaction -o "$work/copy-$db.sql" "$work/input.csv"
    copy[$db]=$(load3 $db "$work/copy-$db.sql")
    [ "$(count $db)" -eq "$rows" ] || { echo "$db: the COPY script did not load every row" >&2; exit 1; }
  fi

  [ $db = maria ] || dialect=$([ $db = pg ] && echo postgresql || echo sqlite)
  for action in update ignore; do
    "$convert" -t t -f "$fields" --dialect $dialect --rows-per-insert 500 --transaction --on-conflict $action \
      --key id -o "$work/$action-$db.sql" "$work/input.csv"
  done
  keyedBatch[$db]=$(median "$(loadKeyed $db "$work/batch-$db.sql")" "$(loadKeyed $db "$work/batch-$db.sql")" \
    "$(loadKeyed $db "$work/batch-$db.sql")")
  upsertEmpty[$db]=$(median "$(loadKeyed $db "$work/update-$db.sql")" "$(loadKeyed $db "$work/update-$db.sql")" \
    "$(loadKeyed $db "$work/update-$db.sql")")
  # The table holds every key now: each run meets all of them, and leaves it so.
  upsertFull[$db]=$(median "$(seconds "${db}_run" < "$work/update-$db.sql")" \
    "$(seconds "${db}_run" < "$work/update-$db.sql")" "$(seconds "${db}_run" < "$work/update-$db.sql")")
  ignoreFull[$db]=$(median "$(seconds "${db}_run" < "$work/ignore-$db.sql")" \
    "$(seconds "${db}_run" < "$work/ignore-$db.sql")" "$(seconds "${db}_run" < "$work/ignore-$db.sql")")
  [ "$(count $db)" -eq "$rows" ] || { echo "$db: the upserts did not keep every row once" >&2; exit 1; }
done

printf '\n%-12s %16s %26s %14s %10s %10s\n' "seconds" "one-row (scaled)" "rows-per-insert 500 + txn" "bulk loader" "one/batch" "batch/bulk"
for db in sqlite pg maria; do
  name=$db; [ $db = pg ] && name=postgresql; [ $db = maria ] && name=mariadb
  printf '%-12s %16.1f %26.2f %14.2f %10.0f %10.2f\n' "$name" "${one[$db]}" "${batch[$db]}" "${bulk[$db]}" \
    "$(echo "${one[$db]} / ${batch[$db]}" | bc -l)" "$(echo "${batch[$db]} / ${bulk[$db]}" | bc -l)"
done
echo
printf '%-12s %14s %14s %14s %14s %12s\n' "keyed table" "batch, empty" "update, empty" "update, full" "ignore, full" "full/batch"
for db in sqlite pg maria; do
  name=$db; [ $db = pg ] && name=postgresql; [ $db = maria ] && name=mariadb
  printf '%-12s %14.2f %14.2f %14.2f %14.2f %12.2f\n' "$name" "${keyedBatch[$db]}" "${upsertEmpty[$db]}" \
    "${upsertFull[$db]}" "${ignoreFull[$db]}" "$(echo "${upsertFull[$db]} / ${batch[$db]}" | bc -l)"
done
echo
printf 'postgresql --copy script %.2f s, \\copy %.2f s: %.2f x\n' "${copy[pg]}" "${bulk[pg]}" \
  "$(echo "${copy[pg]} / ${bulk[pg]}" | bc -l)"
echo
echo "targets: one/batch >= 30 each; batch/bulk <= 2 for SQLite and MariaDB, <= 5 for PostgreSQL;"
echo "         --copy script <= 1.3 x \\copy; update into a full table <= 3 x the batched form into an empty one"
