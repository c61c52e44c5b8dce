#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: a plain build (and valgrind's
# memcheck over create/read/release cycles), then the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, the concurrency tests under
# ThreadSanitizer, each fuzz target for a bounded time, the benchmarks once
# briefly, the Debian packages, and the ARM build with its suite under
# qemu-user.
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
bash scripts/valgrind.sh build-test
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_suite build-asan -DVELQUAR_SANITIZE=ON
bash scripts/tsan.sh
bash scripts/fuzz.sh
bash scripts/bench.sh --brief

# The Debian packages and lintian, where the packaging tools are installed.
if command -v dpkg-buildpackage >/dev/null && command -v dh >/dev/null &&
    command -v lintian >/dev/null; then
    bash scripts/package.sh
else
    echo "test: dpkg-buildpackage, debhelper or lintian missing: the packages are not built" >&2
fi

# The same suite built for the 32-bit ARM television, under qemu-user; the package checks.
bash scripts/arm.sh
