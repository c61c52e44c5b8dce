#!/usr/bin/env bash
# Sets up, builds and runs the property inspector on the simulated television.
# Arguments go to velquar-props (property names, --json, --help).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVELQUAR_BUILD_TESTS=OFF >/dev/null
cmake --build build -j2 >/dev/null
exec ./build/bin/velquar-props "$@"
