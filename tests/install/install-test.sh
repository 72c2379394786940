#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs what a user would first run there: each
# program's --version, and the manual pages through man.
set -euo pipefail
build=$1
version=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
for program in zanvel zanvel-send zanvel-listen; do
  [[ -x "$prefix/bin/$program" ]] || { echo "not installed: bin/$program"; exit 1; }
  out=$("$prefix/bin/$program" --version)
  [[ "$out" == "$program $version" ]] || { echo "$program --version printed \"$out\""; exit 1; }
  page="$prefix/share/man/man1/$program.1"
  [[ -f "$page" ]] || { echo "no manual page for $program"; exit 1; }
  # man prints the page's own name in its heading; troff warnings mean a broken page.
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
  [[ -z "$warnings" ]] || { echo "$page: $warnings"; exit 1; }
  MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q "^NAME" || { echo "$page does not render"; exit 1; }
done
for file in share/applications/zanvel.desktop share/icons/hicolor/256x256/apps/zanvel.png \
            share/doc/zanvel/README.md; do
  [[ -f "$prefix/$file" ]] || { echo "not installed: $file"; exit 1; }
done
echo "installed and ran from $prefix"
