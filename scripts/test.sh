#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: a plain build, then the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh
bash scripts/check-format.sh

run_suite() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug "$@" >/dev/null
    cmake --build "$dir" -j2
    ctest --test-dir "$dir" -j2 --output-on-failure --no-tests=error
}

run_suite build-test
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_suite build-asan -DVELQUAR_SANITIZE=ON
bash scripts/bench.sh --brief
