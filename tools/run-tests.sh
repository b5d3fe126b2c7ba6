#!/usr/bin/env bash
# Builds (when needed) and runs the whole test suite with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/CMakeCache.txt ] || bash tools/build.sh
cmake --build build -j2
ctest --test-dir build -j2 --output-on-failure
