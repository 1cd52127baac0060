#!/usr/bin/env bash
# Times rowsmith-convert in each mode against the floor of what any converter
# must do (read the input, write that mode's output), and against the SQLite
# shell and a Python csv-module script, on one generated CSV, in one run.
# Files live on a tmpfs where one has room, so that the disk does not time
# itself instead.
#   bench/compare.sh [BUILD_DIR]     (SIZE_MB=300 ROUNDS=3 by default)
set -euo pipefail
build=${1:-build-bench}
size_mb=${SIZE_MB:-300}
rounds=${ROUNDS:-3}
here=$(cd "$(dirname "$0")" && pwd)
convert="$build/rowsmith-convert"
room_kb=$(df -k --output=avail /dev/shm 2>/dev/null | tail -n 1 || echo 0)
place=${TMPDIR:-/tmp}
[ "${room_kb:-0}" -gt $((size_mb * 6 * 1024)) ] && [ -w /dev/shm ] && place=/dev/shm
work=$(mktemp -d "$place/rowsmith-compare-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The generated lines give ten values under the line rules (the quoted
# "said ""hi"", left" is two there), nine as standard CSV.
fields="id,name,pair,city,day,note,amount,quote,rest,state"
input="$work/input.csv"
"$build/bench/make_bench_csv" "$size_mb" "$input"
gzip -1 -c "$input" > "$input.gz"
# The same text in a single-byte character set: Latin-1 for the decoders.
iconv -f UTF-8 -t LATIN1//TRANSLIT "$input" > "$input.latin1"
input_bytes=$(stat -c %s "$input")
echo "input: $input_bytes bytes, $(wc -l < "$input") lines, in $place; $rounds rounds each"

# Runs a command (standard output to /dev/null) and prints its wall and CPU
# seconds (user and system, of all its threads).
measure() {
  sync
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" > /dev/null 2> "$work/stderr" || { cat "$work/stderr" >&2; return 1; }
  awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' "$work/time"
}
# The least of the rounds: on a shared machine the others carry its noise.
best() { printf '%s\n' "$@" | sort -g | head -n 1; }

# name|input|arguments
modes=("default|$input|" "--dialect mysql|$input|--dialect mysql" "--rfc4180|$input|--rfc4180"
  "--empty-as-null|$input|--empty-as-null" "--rows-per-insert 500 --transaction|$input|--rows-per-insert 500 --transaction"
  "--encoding latin1|$input.latin1|--encoding latin1" "--encoding windows-1252|$input.latin1|--encoding windows-1252"
  "gzip input|$input.gz|" "--create-table|$input|--create-table" "--copy|$input|--dialect postgresql --copy"
  "--create-table postgresql|$input|--dialect postgresql --create-table"
  "--rejects|$input|--dialect postgresql --create-table --rejects $work/rejects.csv"
  # Modes that look at values one by one.
  "--null unquoted-empty|$input|--null unquoted-empty" "--null-token '\\N'|$input|--null-token \\N"
  "--columns (half)|$input|--columns 1,3,5,7,9" "--rfc4180 --columns (half)|$input|--rfc4180 --columns 1,3,5,7,9"
  "--rfc4180 --null unquoted-empty|$input|--rfc4180 --null unquoted-empty"
  "--on-conflict update|$input|--dialect postgresql --on-conflict update --key id"
  "--check|$input|--check")
declare -A wall cpu floor out_bytes walls cpus floors
# One run untimed first: the first writes of a fresh tmpfs cost more.
"$convert" --table t --fields "$fields" --output "$work/out.sql" "$input" 2> /dev/null
# Each round runs every mode once, so that the machine's drift over the
# minutes of the run weighs on each mode alike.
for ((i = 0; i < rounds; i++)); do
  for run in "${modes[@]}"; do
    IFS='|' read -r name file extra <<< "$run"
    read -r -a args <<< "$extra"
    # Half the columns take half the field names.
    names=$fields
    case $name in *"--columns (half)") names="id,pair,day,amount,rest" ;; esac
    rm -f "$work/out.sql"
    # One thread: the table weighs each mode's own work (threads below).
    read -r w c < <(measure "$convert" --table t --fields "$names" "${args[@]}" --jobs 1 --output "$work/out.sql" "$file")
    walls[$name]+=" $w"; cpus[$name]+=" $c"
    # --check writes nothing: its floor is the read alone.
    out=$(stat -c %s "$work/out.sql" 2> /dev/null || echo 0)
    # The floor: read the plain input, and write as many bytes as the output.
    read -r _ read_cpu < <(measure cat "$input")
    rm -f "$work/floor.out"
    read -r _ write_cpu < <(measure dd if=/dev/zero of="$work/floor.out" bs=1M count=$(((out + 1048575) / 1048576)) status=none)
    floors[$name]+=" $(echo "$read_cpu + $write_cpu" | bc -l)"
    out_bytes[$name]=$out
  done
done
for run in "${modes[@]}"; do
  name=${run%%|*}
  # Each holds one number a round, split into the words best takes.
  wall[$name]=$(best ${walls[$name]}); cpu[$name]=$(best ${cpus[$name]}); floor[$name]=$(best ${floors[$name]})
done
rm -f "$work/out.sql" "$work/floor.out"
gz_walls=(); gz_cpus=()
for ((i = 0; i < rounds; i++)); do
  read -r w c < <(measure gzip -dc "$input.gz")
  gz_walls+=("$w"); gz_cpus+=("$c")
done
gz_wall=$(best "${gz_walls[@]}"); gz_cpu=$(best "${gz_cpus[@]}")
read -r sq_wall _ < <(measure sqlite3 :memory: -cmd ".import --csv $input t" -cmd ".mode insert t" "select * from t")
read -r py_wall _ < <(measure python3 "$here/csv_to_sql.py" t "$fields" "$input" "$work/py.sql")
rm -f "$work/py.sql"

# One file on every core: wall time with 1, 2 and all threads, into a file
# beside the input and into /dev/null, where the kernel's copying of the
# output weighs nothing.
cores=$(nproc)
declare -A jobs_wall
job_counts=(1 2)
[ "$cores" -gt 2 ] && job_counts+=("$cores")
for ((i = 0; i < rounds; i++)); do
  for mode in "default|" "--rfc4180|--rfc4180"; do
    IFS='|' read -r name extra <<< "$mode"
    for jobs in "${job_counts[@]}"; do
      rm -f "$work/out.sql"
      read -r w _ < <(measure "$convert" --table t --fields "$fields" $extra --jobs "$jobs" --output "$work/out.sql" "$input")
      jobs_wall["$name $jobs file"]+=" $w"
      read -r w _ < <(measure "$convert" --table t --fields "$fields" $extra --jobs "$jobs" "$input")
      jobs_wall["$name $jobs null"]+=" $w"
    done
  done
done
rm -f "$work/out.sql"

rate() { echo "scale=1; $input_bytes / 1000000 / $1" | bc -l; }
# Each mode's CPU against the floor, and its speed against the default's
# (the default's CPU over its own): where a mode falls behind shows.
printf '\n%-38s %8s %8s %8s %10s %10s %10s\n' "best of $rounds" "wall s" "CPU s" "floor s" "CPU/floor" \
  "% default" "input MB/s"
for run in "${modes[@]}"; do
  name=${run%%|*}
  printf '%-38s %8.3f %8.3f %8.3f %10.2f %10.0f %10s\n' "$name" "${wall[$name]}" "${cpu[$name]}" "${floor[$name]}" \
    "$(echo "${cpu[$name]} / ${floor[$name]}" | bc -l)" "$(echo "100 * ${cpu[default]} / ${cpu[$name]}" | bc -l)" \
    "$(rate "${wall[$name]}")"
done
printf '%-38s %8.3f %8.3f\n' "gzip -dc of the gzip file" "$gz_wall" "$gz_cpu"
printf '%-38s %8.3f\n' "sqlite3 .import + .mode insert" "$sq_wall"
printf '%-38s %8.3f\n' "python3 csv module" "$py_wall"

ratio() { echo "$1 / $2" | bc -l; }
d=default
printf '\ndefault CPU / floor         = %.2f  (target <= 1.5)\n' "$(ratio "${cpu[$d]}" "${floor[$d]}")"
printf 'mysql CPU / floor           = %.2f  (target <= 1.5)\n' "$(ratio "${cpu[--dialect mysql]}" "${floor[--dialect mysql]}")"
printf 'rfc4180 speed / default     = %.0f %%  (target >= 85)\n' "$(echo "100 * ${cpu[$d]} / ${cpu[--rfc4180]}" | bc -l)"
printf 'latin1 speed / default      = %.0f %%  (target >= 80)\n' "$(echo "100 * ${cpu[$d]} / ${cpu[--encoding latin1]}" | bc -l)"
printf 'windows-1252 speed / default = %.0f %%  (target >= 80)\n' \
  "$(echo "100 * ${cpu[$d]} / ${cpu[--encoding windows-1252]}" | bc -l)"
printf 'gzip input / gzip -dc       = %.2f x  (target >= 2, wall)\n' "$(ratio "$gz_wall" "${wall[gzip input]}")"
printf 'gzip input / plain input    = %.0f %%  (target >= 70, wall)\n' "$(echo "100 * ${wall[$d]} / ${wall[gzip input]}" | bc -l)"
printf 'create-table / plain        = %.2f x  (target <= 2.2, wall)\n' "$(ratio "${wall[--create-table]}" "${wall[$d]}")"
# Decimals and dates keep every value of their columns looked at; records
# set aside cost a look at each record's size.
printf 'rejects / create-table      = %.0f %%  (target >= 90, wall)\n' \
  "$(echo "100 * ${wall[--create-table postgresql]} / ${wall[--rejects]}" | bc -l)"
printf 'copy speed / default        = %.0f %%  (target >= 100, wall)\n' "$(echo "100 * ${wall[$d]} / ${wall[--copy]}" | bc -l)"
# The modes that look at values, each against the default's CPU.
for name in "--null unquoted-empty" "--null-token '\\N'" "--columns (half)" "--rfc4180 --columns (half)" \
  "--rfc4180 --null unquoted-empty" "--copy" "--on-conflict update"; do
  printf '%-27s = %.0f %%  (target >= 80, CPU)\n' "$name speed" "$(echo "100 * ${cpu[$d]} / ${cpu[$name]}" | bc -l)"
done
printf 'check speed / default       = %.2f x  (target >= 1.5, CPU)\n' "$(ratio "${cpu[$d]}" "${cpu[--check]}")"
for mode in default --rfc4180; do
  for sink in file null; do
    one=$(best ${jobs_wall["$mode 1 $sink"]})
    line=$(printf '%-10s into %-9s --jobs 1: %.3f s' "$mode" "$([ $sink = file ] && echo a\ file || echo /dev/null)" "$one")
    for jobs in "${job_counts[@]:1}"; do
      w=$(best ${jobs_wall["$mode $jobs $sink"]})
      line+=$(printf ', %s: %.3f s (%.2f x)' "$jobs" "$w" "$(ratio "$one" "$w")")
    done
    echo "$line  (target: 2 threads >= 1.8 x)"
  done
done
printf 'sqlite / rowsmith           = %.1f  (wall)\n' "$(ratio "$sq_wall" "${wall[$d]}")"
printf 'python / rowsmith           = %.1f  (wall)\n' "$(ratio "$py_wall" "${wall[$d]}")"

# Appending: a run first reads the output as its database's client does.
# One row appended to an output of about 1 GB, per dialect (target: a few
# seconds, wall).
printf 'a,b\n' > "$work/one.csv"
for dialect in standard mysql; do
  rm -f "$work/big.sql"
  until [ "$(stat -c %s "$work/big.sql" 2> /dev/null || echo 0)" -ge 1000000000 ]; do
    "$convert" --table t --fields "$fields" --dialect "$dialect" --output "$work/big.sql" "$input" 2> /dev/null
  done
  walls=()
  for ((i = 0; i < rounds; i++)); do
    read -r w _ < <(measure "$convert" --table t --fields a,b --dialect "$dialect" --output "$work/big.sql" "$work/one.csv")
    walls+=("$w")
  done
  printf 'one row appended to %.1f GB, --dialect %-9s = %.2f s  (target <= 3, wall)\n' \
    "$(echo "$(stat -c %s "$work/big.sql") / 1000000000" | bc -l)" "$dialect" "$(best "${walls[@]}")"
done
rm -f "$work/big.sql"

# Memory stays the same whatever the size: an input ten times larger through
# a pipe, in every mode, on one thread; and on two, each of which holds
# pieces and their statements. name|filter|arguments
memory_runs=("default|cat|--jobs 1" "--rfc4180|cat|--rfc4180 --jobs 1" "--dialect mysql|cat|--dialect mysql --jobs 1"
  "--empty-as-null|cat|--empty-as-null --jobs 1"
  "--rows-per-insert 500 --transaction|cat|--rows-per-insert 500 --transaction --jobs 1"
  "--header --encoding latin1|cat|--header --encoding latin1 --jobs 1" "gzip input|gzip -1|--jobs 1"
  "--jobs 2|cat|--jobs 2" "--rfc4180 --jobs 2|cat|--rfc4180 --jobs 2")
for run in "${memory_runs[@]}"; do
  IFS='|' read -r name filter extra <<< "$run"
  read -r -a args <<< "$extra"
  kb=$( { "$build/bench/make_bench_csv" $((size_mb * 10)) /dev/stdout | $filter |
    /usr/bin/time -f "%M" "$convert" --table t --fields "$fields" "${args[@]}" - > /dev/null; } 2>&1 | tail -n 1)
  target=16
  case $name in *"--jobs 2") target=24 ;; esac
  printf 'peak RSS, %d MB input through a pipe, %-36s = %.1f MB  (target < %d)\n' $((size_mb * 10)) "$name" \
    "$(echo "$kb / 1024" | bc -l)" "$target"
done
