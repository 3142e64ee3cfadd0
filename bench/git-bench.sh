#!/usr/bin/env bash
# Revisions read from a repository's objects against the same files checked out, and a
# comparison of two releases against cloc's. The repository is made from two real releases of a
# public project (by default Qt's qtbase, 6.4.2 and 6.8.2, from Debian 12's and 13's sources),
# one commit and one tag per release, packed as a clone would be.
# Targets: counting a revision takes at most 2x counting its checkout; comparing the two
# releases takes at most 3x one count and is at least 50x faster than `cloc --git --diff`.
# Usage: bench/git-bench.sh [BUILD_DIR]
# Environment: PKG, OLD_VERSION, NEW_VERSION (Debian source package and its two versions),
# RUNS (best of, 5), WORK (/tmp/tarvik-bench), CLOC=0 to leave cloc out.
set -euo pipefail
source "$(cd "$(dirname "$0")" && pwd)/bench-lib.sh"
bench_setup "${1:-}"
work=${WORK:-/tmp/tarvik-bench}
pkg=${PKG:-qt6-base}
old_version=${OLD_VERSION:-6.4.2+dfsg-10}
new_version=${NEW_VERSION:-6.8.2+dfsg-9+deb13u2}
src="$work/git-src-$pkg"
repo="$work/git-repo-$pkg"
mkdir -p "$src"

# Debian's source archive, read without touching the machine's own apt configuration.
apt_opts=(-o Dir::Etc::SourceList="$src/sources.list" -o Dir::Etc::SourceParts=/dev/null
          -o Dir::State::Lists="$src/lists" -o Dir::Cache="$src/cache")
fetch() {
    if [ ! -f "$src/sources.list" ]; then
        printf '%s\n' "deb-src http://deb.debian.org/debian bookworm main" \
            "deb-src http://deb.debian.org/debian-security bookworm-security main" \
            "deb-src http://deb.debian.org/debian trixie main" > "$src/sources.list"
        mkdir -p "$src/lists/partial" "$src/cache"
        apt-get "${apt_opts[@]}" update -qq
    fi
    (cd "$src" && apt-get "${apt_opts[@]}" source --download-only -qq "$pkg=$1")
}

release_tarball() { ls "$src"/*_"$(echo "$1" | sed 's/-[^-]*$//; s/^[0-9]*://')".orig.tar.* | head -1; }

if [ ! -f "$repo.done" ]; then
    rm -rf "$repo"
    fetch "$old_version"
    fetch "$new_version"
    git init -q "$repo"
    for v in "$old_version" "$new_version"; do
        (cd "$repo" && git rm -rq --ignore-unmatch . > /dev/null && find . -mindepth 1 -maxdepth 1 ! -name .git -exec rm -rf {} +)
        tar -xf "$(release_tarball "$v")" -C "$repo" --strip-components=1
        tag=$(echo "$v" | sed 's/-[^-]*$//; s/^[0-9]*://')
        (cd "$repo" && git add -A -f && git -c gc.auto=0 -c user.name=bench -c user.email=bench@example.org commit -qm "$tag" && git tag "v$tag")
    done
    (cd "$repo" && git gc -q)
    touch "$repo.done"
fi
old_tag="v$(echo "$old_version" | sed 's/-[^-]*$//; s/^[0-9]*://')"
new_tag="v$(echo "$new_version" | sed 's/-[^-]*$//; s/^[0-9]*://')"
checkout="$work/git-checkout-$pkg"
rm -rf "$checkout"
git -C "$repo" worktree prune
git -C "$repo" worktree add -q --detach "$checkout" "$new_tag"
trap 'git -C "$repo" worktree remove --force "$checkout" 2> /dev/null || rm -rf "$checkout"' EXIT

files=$(cd "$checkout" && find . -type f ! -path './.git' | wc -l)
echo "machine: $(machine_line)"
echo "repository: $pkg, $old_tag and $new_tag ($files files in $new_tag)"

# The same rows, whichever way the files were read.
"$tool" -s "$ini" -f csv --repo "$repo" --rev "$new_tag" | sed "s|$new_tag:||g" > "$work/git-rev.csv"
"$tool" -s "$ini" -f csv "$checkout" | sed "s|$checkout/||g" > "$work/git-disk.csv"
if cmp -s "$work/git-rev.csv" "$work/git-disk.csv"; then
    echo "revision and checkout agree on all $(($(wc -l < "$work/git-rev.csv") - 1)) counted files"
else
    echo "revision and checkout DIFFER:"; diff "$work/git-rev.csv" "$work/git-disk.csv" | head
fi

warm_list=$(mktemp); (cd "$checkout" && find . -type f -print0) > "$warm_list"; (cd "$checkout" && warm_files "$warm_list"); rm -f "$warm_list"
t_disk=$(best_of "$runs" "$tool" -s "$ini" -f csv "$checkout")
t_rev=$(best_of "$runs" "$tool" -s "$ini" -f csv --repo "$repo" --rev "$new_tag")
t_diff=$(best_of "$runs" "$tool" -s "$ini" -f csv --repo "$repo" --diff "$old_tag" "$new_tag")
echo "count of the checkout:        ${t_disk} s"
echo "count of the revision:        ${t_rev} s   ($(calc "$t_rev / $t_disk")x the checkout, target 2x: $(verdict "$(calc "$t_rev / $t_disk")" 2))"
echo "comparison of the releases:   ${t_diff} s   ($(calc "$t_diff / $t_disk")x one count, target 3x: $(verdict "$(calc "$t_diff / $t_disk")" 3))"
# git's own line diff of the same trees, counting nothing: the floor the comparison stands on.
t_git=$(best_of "$runs" git -C "$repo" diff --no-renames --numstat "$old_tag" "$new_tag")
echo "git diff --numstat, for scale: ${t_git} s   ($(calc "$t_git / $t_disk")x one count)"
if [ "${CLOC:-1}" != 0 ]; then
    t_cloc=$(cd "$repo" && seconds_of cloc --quiet --git --diff "$old_tag" "$new_tag")
    speedup=$(calc "$t_cloc / $t_diff")
    echo "cloc --git --diff, once:      ${t_cloc} s   (${speedup}x slower, target 50x: $(awk -v s="$speedup" 'BEGIN { print (s >= 50) ? "PASS" : "FAIL" }'))"
fi
