#!/bin/bash
# The Windows build of rowsmith-convert, run under Wine, against the Linux
# build on one table of inputs: each case runs both in a folder of its own,
# and their output bytes, messages, exit status and the files they leave
# must be the same. A case whose known difference is written beside it
# (DIFFERS) is shown but does not fail. Prints the table; exits 1 when a
# case differs that should not.
#
#   tests/windows/compare.sh LINUX_PROGRAM WINDOWS_PROGRAM
set -u
linux=$(realpath "$1")
windows=$(realpath "$2")
export WINEDEBUG=-all
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The inputs every case may use, made once.
inputs=$work/inputs
mkdir -p "$inputs"
(
  cd "$inputs" || exit 1
  printf 'id,name,note\n1,Ann,plain\n2,"B, b","a ""quote"""\n3,Cé,"two\nlines"\n' > quoted.csv
  printf 'id,name\n1,Ann\n2,Bob\n3,\n' > plain.csv
  printf 'id,name\r\n1,Ann\r\n2,Bob\r\n' > crlf.csv
  printf '\xff\xfei\x00d\x00,\x00n\x00\n\x001\x00,\x00\xe4\x00\n\x00' > utf16.csv
  gzip -c plain.csv > plain.csv.gz
  printf 'id,name\n1,Caf\xe9\n2,\x80uro\n' > cp1252.csv
  printf 'id,name\n1,ok\n2,bad\x81byte\n' > cp1252-bad.csv
  printf 'id,name\n1,\x93\xfa\x96\x7b\x8c\xea\n2,\x83\x65\x83\x58\x83\x67\n' > sjis.csv
  printf 'id,name\n1,\x81\x308\x30\n2,\xd6\xd0\xce\xc4\n' > gb18030.csv
  printf 'id,name\n1,\xf0\xd2\xc9\xd7\xc5\xd4\n' > koi8.csv
  printf 'id,name\n1,Ann\n2\n3,Cy\n' > short.csv
  printf 'id,name\n1,Ann\n' > 'данные.csv'
  printf 'id,name\n1,Ann\n' > 'with space.csv'
  printf 'id;name;price\n1;Ann;3,49\n2;Bob;10,00\n' > semicolon.csv
  printf 'id,name\n1,a\n1,b\n2,c\n' > keys.csv
  for i in $(seq 1 3000); do printf '%d,name %d,"x, %d"\n' "$i" "$i" "$i"; done > many.csv
  mkdir folder
)

# Each case: its name, then the words after the program; a case that needs
# more than a command line is a function, given the program as its words.
cases=(
  "plain|--header -t t plain.csv"
  "fields named|-t t -f a,b plain.csv"
  "CR LF lines|--header -t t crlf.csv"
  "standard CSV|--rfc4180 --header -t t quoted.csv"
  "UTF-16 by its mark|--header -t t utf16.csv"
  "gzip|--header -t t plain.csv.gz"
  "windows-1252|--encoding windows-1252 --header -t t cp1252.csv"
  "windows-1252, a byte it lacks|--encoding windows-1252 --header -t t cp1252-bad.csv"
  "Shift_JIS|--encoding SHIFT_JIS --header -t t sjis.csv"
  "GB18030, four bytes|--encoding GB18030 --header -t t gb18030.csv"
  "KOI8-R|--encoding koi8-r --header -t t koi8.csv"
  "unknown set|--encoding no-such-set --header -t t plain.csv"
  "sniff, Shift_JIS|--sniff sjis.csv"
  "sniff, GB18030|--sniff gb18030.csv"
  "sniff, semicolons|--sniff semicolon.csv"
  "check|--check --header short.csv"
  "missing column|--header -t t -o out.sql short.csv"
  "rejects|--header -t t --rejects rejected.csv -o out.sql short.csv"
  "create table, typed|--create-table --decimal-comma -d ; --header -t t semicolon.csv"
  "COPY|--copy --dialect postgresql --header -t t many.csv"
  "upsert|--on-conflict update --key id --dialect postgresql --header -t t keys.csv"
  "batches in a transaction|--rows-per-insert 100 --transaction --header -t t -o out.sql many.csv"
  "two threads|--jobs 2 --header -t t -o out.sql many.csv"
  "split|--split-rows 1000 --header -t t -o part.sql many.csv"
  "non-ASCII names|--header -t t -o вывод.sql данные.csv"
  "a name with a space|--header -t t -o 'out file.sql' 'with space.csv'"
  "no such input|--header -t t nothing.csv"
  "a folder as input|--header -t t folder"
  "input is the output|--header -t t -o plain.csv plain.csv"
  "input is the output by another name|@same_file"
  "usage error|--table"
  "appended twice|@twice"
  "failed transaction|@failed_transaction"
  "from a pipe|@from_pipe"
  "into a pipe|@into_pipe"
  "cancelled|@cancelled"
  "cancelled in a transaction|@cancelled_transaction"
  "an output past 4 GiB, cut back|@past_4_gib"
)

# Known differences, by case name, with the reason.
declare -A differs=()

twice() {
  "$@" --header -t t -o out.sql plain.csv && "$@" --header -t t -o out.sql quoted.csv
}
failed_transaction() {
  # The first run lands; the second fails on its short record and takes
  # back what it wrote, leaving the first run's statements alone.
  "$@" --transaction --header -t t -o out.sql plain.csv
  "$@" --transaction --header -t t -o out.sql short.csv
}
same_file() {
  ln plain.csv link.csv
  "$@" --header -t t -o link.csv plain.csv
}
from_pipe() {
  cat many.csv | "$@" --header -t t -
}
into_pipe() {
  "$@" --header -t t many.csv | cat > piped.sql
}
options=()
cancelled_transaction() {
  options=(--transaction)
  cancelled "$@"
}
# Sizes and places past 4 GiB: a sparse output of 4100 MiB that ends in a
# statement; a failed run in a transaction is cut back to its end, then a
# run appends. The output is kept as its size and its last bytes.
past_4_gib() {
  truncate -s 4100M big.sql
  printf '\nINSERT INTO t ( "a" ) VALUES ( 1 );\r\n' >> big.sql
  "$@" --transaction --encoding windows-1252 --header -t t -o big.sql cp1252-bad.csv
  "$@" --header -t t -o big.sql plain.csv
  local status=$?
  stat -c %s big.sql > big.size
  tail -c 400 big.sql > big.tail
  rm big.sql
  return $status
}
cancelled() {
  # Two records, then a writer that waits: the run is interrupted while it
  # waits for more, keeps what it wrote whole (all of it taken back within
  # a transaction), and says why.
  mkfifo fifo
  (printf 'a,b\n1,2\n3,4\n'; exec sleep 6) > fifo &
  local writer=$!
  "$@" --header -t t -o out.sql "${options[@]}" - < fifo &
  local run=$!
  sleep 3
  kill -INT "$run"
  wait "$run"
  local status=$?
  kill "$writer" 2> /dev/null
  rm -f fifo
  return $status
}

# Runs a case with the program given in its own folder: stdout, stderr and
# the status go to files beside what it wrote.
run_case() {
  local folder=$1 words=$2
  shift 2
  mkdir -p "$folder"
  cp -r "$inputs"/. "$folder"/
  (
    cd "$folder" || exit 1
    if [[ $words == @* ]]; then
      "${words#@}" "$@" > ../stdout 2> ../stderr
    else
      eval "\"\$@\" $words" > ../stdout 2> ../stderr
    fi
    echo $? > ../status
  )
}

failed=0
printf '| %-38s | %-10s |\n' "case" "result"
printf '|%s|%s|\n' "----------------------------------------" "------------"
for entry in "${cases[@]}"; do
  name=${entry%%|*}
  words=${entry#*|}
  here=$work/case
  rm -rf "$here"
  mkdir -p "$here/linux" "$here/windows"
  run_case "$here/linux/files" "$words" "$linux"
  run_case "$here/windows/files" "$words" wine "$windows"
  if diff -r "$here/linux" "$here/windows" > "$work/diff" 2>&1; then
    result="same"
  elif [[ -n ${differs[$name]:-} ]]; then
    result="differs: ${differs[$name]}"
  else
    result="DIFFERENT"
    failed=1
    sed 's/^/    /' "$work/diff" | head -20 >&2
  fi
  printf '| %-38s | %-10s |\n' "$name" "$result"
done
exit $failed
