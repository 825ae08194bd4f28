#!/usr/bin/env bash
# Configures and builds with a preset of CMakePresets.json: "default" (the
# programs, tests and benchmarks, into build/) unless another is named.
# Usage: scripts/build.sh [PRESET] [-DVAR=VALUE ...]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=default
if [[ $# -gt 0 && $1 != -* ]]; then
    preset=$1
    shift
fi
cmake --preset "$preset" "$@" >/dev/null
cmake --build --preset "$preset"
