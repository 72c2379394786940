#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages.txt that are not installed yet.
# Runs apt-get only when something is missing, through sudo when not root.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
missing=()
while read -r line; do
  # A package per line; what follows # is a comment (or a tag), and of "a | b" the first is taken.
  pkg=${line%%#*}
  pkg=${pkg%%|*}
  pkg=${pkg//[[:space:]]/}
  [[ -z "$pkg" ]] && continue
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done < "$here/packages.txt"
[[ ${#missing[@]} -eq 0 ]] && exit 0
echo "Installing missing packages: ${missing[*]}"
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
