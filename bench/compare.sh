#!/usr/bin/env bash
# Times rowsmith-convert against copying its output with dd, the SQLite
# shell and a Python csv-module script, on one generated CSV, in one run.
#   bench/compare.sh [BUILD_DIR]     (SIZE_MB=300 ROUNDS=3 by default)
set -euo pipefail
build=${1:-build-bench}
size_mb=${SIZE_MB:-300}
rounds=${ROUNDS:-3}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/rowsmith-compare-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The generated lines give ten values: the quoted "said ""hi"", left" is two
# under the default rules.
fields="id,name,pair,city,day,note,amount,quote,rest,state"
input="$work/input.csv"
"$build/bench/make_bench_csv" "$size_mb" "$input"
gzip -1 -c "$input" > "$input.gz"
input_bytes=$(stat -c %s "$input")
echo "input: $input_bytes bytes, $(wc -l < "$input") lines; $rounds rounds each"

# Seconds taken by a command, to the millisecond.
seconds() {
  local start end
  sync  # what an earlier command wrote must not be flushed during this one
  start=$(date +%s.%N)
  "$@" > /dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The options, each timed like the default run; name|arguments.
option_runs=("--dialect mysql|--dialect mysql" "--empty-as-null|--empty-as-null"
  "--rows-per-insert 500 --transaction|--rows-per-insert 500 --transaction" "--rfc4180|--rfc4180")
declare -A opt_times

declare -a rs dd sq py gz rsgz
for ((i = 0; i < rounds; i++)); do
  gz+=("$(seconds gzip -dc "$input.gz")")
  rm -f "$work/out.sql"
  rsgz+=("$(seconds "$build/rowsmith-convert" --table t --fields "$fields" --output "$work/out.sql" "$input.gz")")
  # Each option run like the default one: a new output file of the same name.
  for run in "${option_runs[@]}"; do
    name=${run%%|*}
    read -r -a args <<< "${run#*|}"
    rm -f "$work/out.sql"
    opt_times[$name]+="$(seconds "$build/rowsmith-convert" --table t --fields "$fields" "${args[@]}" \
      --output "$work/out.sql" "$input") "
  done
  rm -f "$work/out.sql" "$work/copy.sql"
  rs+=("$(seconds "$build/rowsmith-convert" --table t --fields "$fields" --output "$work/out.sql" "$input")")
  dd+=("$(seconds dd if="$work/out.sql" of="$work/copy.sql" bs=1M status=none)")
  sq+=("$(seconds sqlite3 :memory: -cmd ".import --csv $input t" -cmd ".mode insert t" "select * from t")")
  py+=("$(seconds python3 "$here/csv_to_sql.py" t "$fields" "$input" "$work/py.sql")")
done
output_bytes=$(stat -c %s "$work/out.sql")

rss_kb=$( { /usr/bin/time -v "$build/rowsmith-convert" --table t --fields "$fields" "$input" > /dev/null; } 2>&1 |
  awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }')

# The same through a pipe for an input ten times larger, in every mode:
# memory must not grow. name|filter|arguments
memory_runs=("default|cat|" "--rfc4180|cat|--rfc4180" "--dialect mysql|cat|--dialect mysql"
  "--empty-as-null|cat|--empty-as-null" "--rows-per-insert 500 --transaction|cat|--rows-per-insert 500 --transaction"
  "--header --encoding latin1|cat|--header --encoding latin1" "gzip input|gzip -1|")
declare -A rss10
for run in "${memory_runs[@]}"; do
  IFS='|' read -r name filter extra <<< "$run"
  read -r -a args <<< "$extra"
  rss10[$name]=$( { "$build/bench/make_bench_csv" $((size_mb * 10)) /dev/stdout | $filter |
    /usr/bin/time -v "$build/rowsmith-convert" --table t --fields "$fields" "${args[@]}" - > /dev/null; } 2>&1 |
    awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }')
done

rate() { echo "scale=1; $input_bytes / 1000000 / $1" | bc -l; }
m_rs=$(median "${rs[@]}"); m_dd=$(median "${dd[@]}"); m_sq=$(median "${sq[@]}"); m_py=$(median "${py[@]}")
m_gz=$(median "${gz[@]}"); m_rsgz=$(median "${rsgz[@]}")
printf '\n%-34s %10s %12s\n' "median of $rounds" "seconds" "input MB/s"
printf '%-34s %10.3f %12s\n' "rowsmith-convert" "$m_rs" "$(rate "$m_rs")"
printf '%-34s %10.3f %12s\n' "dd bs=1M of the $((output_bytes / 1000000)) MB output" "$m_dd" "-"
printf '%-34s %10.3f %12s\n' "sqlite3 .import + .mode insert" "$m_sq" "$(rate "$m_sq")"
printf '%-34s %10.3f %12s\n' "python3 csv module" "$m_py" "$(rate "$m_py")"
for run in "${option_runs[@]}"; do
  name=${run%%|*}
  # shellcheck disable=SC2086
  m=$(median ${opt_times[$name]})
  printf '%-40s %10.3f %12s  (%.0f %% of the default)\n' "  $name" "$m" "$(rate "$m")" "$(echo "100 * $m_rs / $m" | bc -l)"
done
printf '%-40s %10.3f %12s\n' "rowsmith-convert of the gzip file" "$m_rsgz" "$(rate "$m_rsgz")"
printf '%-40s %10.3f %12s\n' "gzip -dc of it into /dev/null" "$m_gz" "$(rate "$m_gz")"
printf '\nrowsmith / dd      = %.2f  (target <= 4)\n' "$(echo "$m_rs / $m_dd" | bc -l)"
printf 'sqlite / rowsmith  = %.1f  (target >= 10)\n' "$(echo "$m_sq / $m_rs" | bc -l)"
printf 'python / rowsmith  = %.1f\n' "$(echo "$m_py / $m_rs" | bc -l)"
printf 'rowsmith peak RSS  = %.1f MB  (target < 16)\n' "$(echo "$rss_kb / 1024" | bc -l)"
printf 'rfc4180 / default  = %.0f %%  (target >= 50)\n' "$(echo "100 * $m_rs / $(median ${opt_times[--rfc4180]})" | bc -l)"
printf 'gzip -dc / rowsmith of the gzip file = %.2f  (target >= 1)\n' "$(echo "$m_gz / $m_rsgz" | bc -l)"
for run in "${memory_runs[@]}"; do
  name=${run%%|*}
  printf 'peak RSS, %d MB input through a pipe, %-36s = %.1f MB  (target < 16)\n' $((size_mb * 10)) "$name" \
    "$(echo "${rss10[$name]} / 1024" | bc -l)"
done
