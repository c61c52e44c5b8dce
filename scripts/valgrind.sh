#!/usr/bin/env bash
# Runs tests/cycle_check (100 cycles of create, read all 49 properties,
# release) under valgrind's memcheck: any invalid access or a definite or
# indirect leak fails, and the program itself fails when the heap in use
# grows after the first cycle. The configuration store is a process-wide
# object that lives until exit; valgrind counts it as still reachable.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-test}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug >/dev/null
fi
cmake --build "$build" -j2 --target cycle_check

start=$(date +%s)
valgrind --leak-check=full --show-leak-kinds=definite,indirect \
    --errors-for-leak-kinds=definite,indirect --error-exitcode=1 \
    "$build/bin/cycle_check"
echo "valgrind memcheck: $(($(date +%s) - start)) s"
