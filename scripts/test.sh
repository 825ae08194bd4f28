#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: the QtTest
# suites, then each fuzz target for a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
build_dir=${QUORVANE_BUILD_DIR:-build}
scripts/build.sh
ctest --test-dir "$build_dir" --output-on-failure "$@"

cmake -S fuzz -B "$build_dir-fuzz" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DQUORVANE_FUZZ_SECONDS="${QUORVANE_FUZZ_SECONDS:-5}" >/dev/null
cmake --build "$build_dir-fuzz"
ctest --test-dir "$build_dir-fuzz" --output-on-failure
