#!/usr/bin/env bash
# Loads a generated CSV of 1,000,000 rows, split by --split-rows into 8
# parts (--rows-per-insert 500 --transaction, and --copy for PostgreSQL),
# into PostgreSQL and MariaDB with one client at a time and with two at
# once, as the README loads parts: the wall time of each (median of three)
# and the ratio. The servers are throw-away ones on Unix sockets, with
# their default durability.
#   bench/parts.sh [BUILD_DIR]     (ROWS=1000000 PARTS=8 by default)
set -euo pipefail
build=${1:-build-bench}
rows=${ROWS:-1000000}
parts=${PARTS:-8}
here=$(cd "$(dirname "$0")" && pwd)
convert="$build/rowsmith-convert"
. "$here/servers.sh"
start_servers parts

awk -v rows="$rows" 'BEGIN { for (i = 1; i <= rows; i++) printf "%d,\"O'"'"'Brien, %d\",%d.%02d,said hi\r\n", i, i % 97, i % 99991, i % 100 }' \
  > "$work/input.csv"
echo "input: $rows rows, $(stat -c %s "$work/input.csv") bytes, in $parts parts"

pg() { psql -X -q -h "$work/pg" -U postgres -d postgres "$@"; }
maria() { mariadb --no-defaults --socket="$work/mariadb/sock" -uroot bench "$@"; }
fields="id, name, amount, note"
table="CREATE TABLE t ( id bigint PRIMARY KEY, name text, amount text, note text );"
split=$(( (rows + parts - 1) / parts ))
"$convert" -t t -f "$fields" --dialect postgresql --copy --transaction --split-rows $split -o "$work/pg.sql" \
  "$work/input.csv" 2> /dev/null
"$convert" -t t -f "$fields" --dialect postgresql --rows-per-insert 500 --transaction --split-rows $split \
  -o "$work/pgi.sql" "$work/input.csv" 2> /dev/null
"$convert" -t t -f "$fields" --dialect mysql --rows-per-insert 500 --transaction --split-rows $split \
  -o "$work/maria.sql" "$work/input.csv" 2> /dev/null

# Wall seconds of loading the parts of base into db with so many clients at once.
loadParts() {
  local db=$1 base=$2 clients=$3 start end
  echo "DROP TABLE IF EXISTS t; $table" | $db > /dev/null 2>&1
  sync
  start=$(date +%s.%N)
  case $db in
    pg) ls "$work/$base".[0-9]*.sql | xargs -P "$clients" -n 1 psql -X -q -h "$work/pg" -U postgres -d postgres -f \
          > /dev/null ;;
    maria) ls "$work/$base".[0-9]*.sql | xargs -P "$clients" -I{} sh -c \
             'mariadb --no-defaults --socket="$1" -uroot bench < "$0"' {} "$work/mariadb/sock" ;;
  esac
  end=$(date +%s.%N)
  local count
  count=$(echo "SELECT count(*) FROM t;" | $db $([ $db = pg ] && echo "-t -A" || echo "-N"))
  [ "$count" -eq "$rows" ] || { echo "$db: $count rows of $rows" >&2; exit 1; }
  echo "$end - $start" | bc -l
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '\n%-26s %10s %10s %10s\n' "seconds" "1 client" "2 clients" "1 / 2"
for run in "pg pg postgresql --copy" "pg pgi postgresql INSERT" "maria maria mariadb INSERT"; do
  set -- $run
  one=$(median "$(loadParts $1 $2 1)" "$(loadParts $1 $2 1)" "$(loadParts $1 $2 1)")
  two=$(median "$(loadParts $1 $2 2)" "$(loadParts $1 $2 2)" "$(loadParts $1 $2 2)")
  printf '%-26s %10.2f %10.2f %10.2f\n' "$3 $4" "$one" "$two" "$(echo "$one / $two" | bc -l)"
done
echo
echo "target: 2 clients faster than 1 on this 2-core machine, which also runs the server"
