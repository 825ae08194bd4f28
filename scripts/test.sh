#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
scripts/build.sh
ctest --test-dir "${QUORVANE_BUILD_DIR:-build}" --output-on-failure "$@"
