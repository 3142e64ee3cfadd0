#!/usr/bin/env bash
# Checks the Debian package made by `make package` without installing it: its control data, its
# files unpacked with dpkg-deb -x into a temporary root, and apt's dependency resolution.
# Usage: tools/test-install.sh [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$top/build}")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$build/tarvik_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "FAIL: no package $deb (make package)" >&2; exit 1; }

control=$(dpkg-deb -f "$deb")
echo "$control"
depends=$(dpkg-deb -f "$deb" Depends)
# The libraries come from dpkg-shlibdeps, with versions; none is typed by hand.
for lib in libqt6widgets6 libqt6core6 libcurl4 libuchardet0 libc6; do
    grep -Eq "(^|, )$lib \\(>= " <<<"$depends" || { echo "FAIL: Depends lacks $lib: $depends" >&2; exit 1; }
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || { echo "FAIL: the package's version is not $version" >&2; exit 1; }

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
"$top/tools/check-installed-tree.sh" "$root" /usr "$version"

apt-get install --simulate -qq "$deb" >/dev/null && echo "ok: apt-get resolves every dependency" \
    || { echo "FAIL: apt-get install --simulate $deb" >&2; exit 1; }
echo "package checked: $deb"
