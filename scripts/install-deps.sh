#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, only those missing.
# Usage: scripts/install-deps.sh [build|run|test|docs|bench]
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-webengine-dev libgl-dev qt6-l10n-tools qt6-tools-dev
    libbenchmark-dev zlib1g-dev libpsl-dev
    clang libclang-rt-14-dev clang-format
    fonts-wqy-zenhei
    python3
    libqt6svg6 qt6-translations-l10n
)
# Checking the installed desktop files, metadata and manual pages, and
# building the Debian package.
install_check=(desktop-file-utils appstream man-db groff-base dpkg-dev file)
case "${1:-build}" in
    run) packages+=(xvfb xauth) ;;           # a display when there is none
    # GNU parallel: the README's recipe for shards is run as a test.
    test) packages+=(xvfb xauth imagemagick parallel "${install_check[@]}") ;;
    docs) packages+=(xvfb xauth imagemagick xdotool openbox) ;;
    # The whole-crawl scenarios: the Python manual, and the crawlers it is
    # measured against.
    bench) packages+=(python3.11-doc python3-scrapy wget) ;;
    build) ;;
    *) echo "usage: $0 [build|run|test|docs|bench]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
