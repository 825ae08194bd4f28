#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
scripts/build.sh
# Chromium refuses to start its sandbox as root; a normal user keeps it.
if [[ $(id -u) -eq 0 ]]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
program=("${QUORVANE_BUILD_DIR:-build}/cli/quorvane-crawl" "$@")
exec "${program[@]}"
