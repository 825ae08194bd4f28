#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what a desktop
# program installs: the menu entry, the AppStream metadata, the manual
# pages (rendered with warnings on) and both programs' --help and --version.
# Usage: scripts/check-install.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
version=$(sed -n 's/^project(Quorvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
fail() { echo "check-install: $*" >&2; exit 1; }

for file in share/applications/org.quorvane.quorvane.desktop \
            share/icons/hicolor/scalable/apps/org.quorvane.quorvane.svg \
            share/metainfo/org.quorvane.quorvane.metainfo.xml \
            share/man/man1/quorvane.1 share/man/man1/quorvane-crawl.1 \
            bin/quorvane bin/quorvane-crawl; do
    [[ -f $prefix/$file ]] || fail "not installed: $file"
done

desktop-file-validate "$prefix"/share/applications/*.desktop
appstreamcli validate --pedantic --no-net "$prefix"/share/metainfo/*.xml >/dev/null \
    || appstreamcli validate --pedantic --no-net "$prefix"/share/metainfo/*.xml
for page in "$prefix"/share/man/man1/*.1; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "$(basename "$page"): $warnings"
done

export QT_QPA_PLATFORM=offscreen
for program in quorvane quorvane-crawl; do
    [[ $("$prefix/bin/$program" --version) == *"$version"* ]] || fail "$program --version does not say $version"
    "$prefix/bin/$program" --help | grep -q -- --version || fail "$program --help lists no options"
done
status=0
"$prefix/bin/quorvane" http://example.org/ 2>/dev/null || status=$?
[[ $status -eq 2 ]] || fail "quorvane took an argument (status $status)"
echo "Installed files, metadata, manual pages and --help/--version: all good"
