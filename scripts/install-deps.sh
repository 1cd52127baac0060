#!/usr/bin/env bash
# Installs the Debian packages Rowsmith needs, but only those that are
# missing; runs apt-get update once, when it must.
#   install-deps.sh run      what building and running the program needs
#   install-deps.sh windows  what cross-building rowsmith-convert.exe, its
#                            zip and its tests under Wine need
#   install-deps.sh          the first, and what the tests, benchmarks,
#                            fuzzing and packaging need
set -euo pipefail

packages=(cmake make g++ pkg-config zlib1g-dev libssl-dev qt6-base-dev fonts-dejavu-core)
# ISA-L, the fast gzip inflater, is built for these processors only.
case "$(dpkg --print-architecture)" in
  amd64 | arm64) packages+=(libisal-dev) ;;
esac
if [ "${1:-all}" = windows ]; then
  packages=(cmake make g++ g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest mandoc wine wine64)
elif [ "${1:-all}" != run ]; then
  packages+=(
    libgtest-dev libgmock-dev googletest libbenchmark-dev xvfb xauth
    sqlite3 libsqlite3-dev postgresql libpq-dev mariadb-server mariadb-client libmariadb-dev util-linux
    clang clang-tidy libclang-rt-14-dev clang-format valgrind time bc python3 git
    lintian appstream desktop-file-utils mandoc dpkg-dev fakeroot file gzip
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
