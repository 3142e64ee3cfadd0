#!/usr/bin/env bash
# `cmake --install` into a temporary DESTDIR, then the checks of an installed tree.
# Usage: install-test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
top=$(cd "$(dirname "$0")/../.." && pwd)
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
"$top/tools/check-installed-tree.sh" "$dest" /usr "$version"
