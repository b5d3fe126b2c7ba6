#!/usr/bin/env bash
# Builds the whole program and its tests with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer in build-sanitize/, and runs the whole suite there. Any report of
# either sanitizer stops the test it happens in, so the run fails. Given suite names
# (tools/sanitize.sh test_report_engine ...), it builds and runs only those.
set -euo pipefail
cd "$(dirname "$0")/.."
flags="-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all -fno-omit-frame-pointer"
[ -f build-sanitize/CMakeCache.txt ] ||
    CC=clang CXX=clang++ cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
targets=()
for suite in "$@"; do targets+=(--target "$suite"); done
cmake --build build-sanitize -j2 "${targets[@]}"
# The toolkit and the database client keep some memory until the process ends by design:
# leaks are not checked, everything else is.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The suite runs in the users' locale.
export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
only=()
[ $# -eq 0 ] || only=(-R "^($(IFS='|'; echo "$*"))\$")
ctest --test-dir build-sanitize -j2 --output-on-failure "${only[@]}"
