#!/usr/bin/env bash
# Builds the .deb of a build tree, installs it into a scratch root with
# dpkg --root and runs the installed uldoc there: --version, then a compile of
# an installed example from another directory.
set -euo pipefail
build="$(cd "$1" && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/package" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; exit 1; }
deb="$(ls "$scratch"/package/*.deb)"
echo "package: $(basename "$deb")"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "depends: $depends"
case "$depends" in *libqt6*) ;; *) echo "the package does not depend on Qt 6"; exit 1 ;; esac

# Every package it depends on must be one Debian knows.
for dep in $(echo "$depends" | tr ',' '\n' | sed 's/(.*)//; s/|.*//' | tr -d ' '); do
  apt-cache show "$dep" >/dev/null 2>&1 || dpkg-query -W "$dep" >/dev/null 2>&1 ||
    { echo "unknown dependency $dep"; exit 1; }
done

root="$scratch/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
force=(--force-depends --force-script-chrootless)
[ "$(id -u)" -ne 0 ] && force+=(--force-not-root)
dpkg --root="$root" --log=/dev/null "${force[@]}" -i "$deb" >"$scratch/dpkg.log" 2>&1 ||
  { cat "$scratch/dpkg.log"; exit 1; }

for f in usr/bin/uldo usr/bin/uldoc usr/share/man/man1/uldoc.1 usr/share/man/man1/uldo.1 \
         usr/share/bash-completion/completions/uldoc usr/share/applications/uldo.desktop \
         usr/share/icons/hicolor/scalable/apps/uldo.svg usr/share/uldo/examples/mixed.json \
         usr/share/uldo/examples/default.json; do
  [ -e "$root/$f" ] || { echo "missing from the package: /$f"; exit 1; }
done

"$root/usr/bin/uldoc" --version
mkdir "$scratch/run"
cd "$scratch/run"
"$root/usr/bin/uldoc" "$root/usr/share/uldo/examples/mixed.json" --setup "$root/usr/share/uldo/examples/default.json" \
  --length 400 -q
ls -l mixed.wfm mixed_I.wfm mixed_Q.wfm
echo "installed uldoc compiled the example"
