#!/usr/bin/env bash
# Fails when a tracked C or C++ file differs from what .clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."

files=$(git ls-files '*.c' '*.cpp' '*.h' '*.hpp')
clang-format --dry-run --Werror $files
