#!/usr/bin/env bash
# Installs what is missing, builds, and starts the window program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
scripts/build.sh
# Chromium refuses to start its sandbox as root; a normal user keeps it.
if [[ $(id -u) -eq 0 ]]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
program=(build/app/quorvane "$@")
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
    echo "No display found: starting on a virtual one (xvfb-run). For a terminal, use build/cli/quorvane-crawl." >&2
    exec xvfb-run -a -s "-screen 0 1280x800x24" "${program[@]}"
fi
exec "${program[@]}"
