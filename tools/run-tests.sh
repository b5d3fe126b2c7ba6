#!/usr/bin/env bash
# Installs what is missing, builds (when needed) and runs the whole test suite with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-packages.sh
[ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
# The suite runs in the users' locale.
export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
ctest --test-dir build -j2 --output-on-failure
