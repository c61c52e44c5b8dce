#!/usr/bin/env bash
# Builds the tree with ThreadSanitizer in build-tsan/ and runs the tests
# labelled "concurrency": many threads reading one context, contexts created
# and released while others are read, many threads making the first
# configuration read, cancelled threads and a periodic signal, and
# factory-reset taking the reset type from the resource manager's own thread.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DVELQUAR_TSAN=ON >/dev/null
cmake --build build-tsan -j2

# gcc's ThreadSanitizer runtime aborts with "unexpected memory mapping" on
# kernels with high mmap randomisation; without ASLR its layout always fits.
no_aslr=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
    no_aslr=(setarch "$(uname -m)" -R)
fi
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
    "${no_aslr[@]}" ctest --test-dir build-tsan -L concurrency -j2 --output-on-failure \
    --no-tests=error
