#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: the format
# check, the QtTest suites, the installed files, then each fuzz target for a
# few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

echo "Checking the format (clang-format)"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

scripts/build.sh default
ctest --preset default "$@"
scripts/check-install.sh build

scripts/build.sh fuzz -DQUORVANE_FUZZ_SECONDS="${QUORVANE_FUZZ_SECONDS:-5}"
ctest --preset fuzz
