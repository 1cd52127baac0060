#!/usr/bin/env bash
# The package as a distribution would take it: a Release build of its own,
# in a temporary folder, made into a .deb that lintian passes without an
# error or a warning, whose AppStream data, desktop entry and man pages
# validate, and which installs and removes cleanly in a throw-away root with
# every file in its conventional place.
#   package_test.sh SOURCE_DIR
# Exits 77 (skipped) only when a tool is missing, saying which.
set -euo pipefail
source_dir=$(cd "$1" && pwd)
for tool in cmake cpack lintian appstreamcli desktop-file-validate mandoc dpkg dpkg-deb gzip; do
  if ! command -v "$tool" > /dev/null; then
    echo "SKIPPED: $tool is not installed (make test installs it)"
    exit 77
  fi
done
work=$(mktemp -d "${TMPDIR:-/tmp}/rowsmith-package-XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "== building the package"
# Warnings as errors: the one Release build CI makes.
cmake -S "$source_dir" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DROWSMITH_TESTS=OFF -DROWSMITH_PACKAGING=ON -DROWSMITH_WERROR=ON \
  -DCMAKE_INSTALL_PREFIX=/usr > "$work/configure.log" || { cat "$work/configure.log"; exit 1; }
cmake --build "$work/build" -j "$(nproc)" > "$work/build.log" 2>&1 || { tail -50 "$work/build.log"; exit 1; }
(cd "$work/build" && cpack > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/build/rowsmith_*.deb)

echo "== lintian"
status=0
lintian --fail-on error,warning --tag-display-limit 0 --info "$deb" > "$work/lintian.log" 2>&1 || status=$?
grep -v "^running with root privileges" "$work/lintian.log" || true
[ "$status" -eq 0 ] || { echo "lintian found errors or warnings"; exit 1; }

echo "== appstreamcli, desktop-file-validate, mandoc"
appstreamcli validate --no-net "$source_dir/packaging/io.github.rowsmith.Rowsmith.metainfo.xml"
desktop-file-validate "$source_dir/packaging/rowsmith.desktop"
mandoc -Tlint -W warning "$source_dir/docs/rowsmith.1" "$source_dir/docs/rowsmith-convert.1"

echo "== install and remove in a throw-away root"
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status"
dpkg=(dpkg --root="$root" --force-depends --force-not-root --log="$work/dpkg.log")
"${dpkg[@]}" --install "$deb" > "$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
expected=(
  usr/bin/rowsmith usr/bin/rowsmith-convert
  usr/share/man/man1/rowsmith.1.gz usr/share/man/man1/rowsmith-convert.1.gz
  usr/share/applications/rowsmith.desktop usr/share/metainfo/io.github.rowsmith.Rowsmith.metainfo.xml
  usr/share/icons/hicolor/48x48/apps/rowsmith.png usr/share/icons/hicolor/scalable/apps/rowsmith.svg
  usr/share/rowsmith/help.htm usr/share/doc/rowsmith/copyright usr/share/doc/rowsmith/changelog.gz
)
for file in "${expected[@]}"; do
  [ -f "$root/$file" ] || { echo "missing after install: /$file"; exit 1; }
done
# The programs are stripped, and the window finds its help page where it is installed.
file "$root/usr/bin/rowsmith" "$root/usr/bin/rowsmith-convert" | grep -v "not stripped" > /dev/null
strings -e l "$root/usr/bin/rowsmith" | grep -q '^/usr/share/rowsmith/help.htm$' || { echo "rowsmith looks elsewhere for its help"; exit 1; }
"$root/usr/bin/rowsmith-convert" --version
"${dpkg[@]}" --remove rowsmith > "$work/remove.log" 2>&1 || { cat "$work/remove.log"; exit 1; }
left=$(find "$root" -path "$root/var" -prune -o -type f -print)
if [ -n "$left" ]; then
  echo "left after removal: $left"
  exit 1
fi
echo "package passed: $(basename "$deb")"
