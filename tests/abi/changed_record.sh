#!/usr/bin/env bash
# The binary-interface check can fail: the AppIpc stand-in, built against a
# copy of its header in which one byte of the capability record changes from
# unsigned to signed (same size, same offsets), must differ from the stored
# baseline, and the report must name that field.
#   changed_record.sh CXX BASELINE
set -euo pipefail
cxx=$1 baseline=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cp "$root/platform/services/app_ipc.h" "$tmp/app_ipc.h"
sed -i 's/^\( *\)uint8_t reserved10;/\1int8_t reserved10;/' "$tmp/app_ipc.h"
if cmp -s "$tmp/app_ipc.h" "$root/platform/services/app_ipc.h"; then
    echo "changed_record: the header has no 'uint8_t reserved10;' to change" >&2
    exit 1
fi
"$cxx" -std=c++17 -g -O0 -shared -fPIC -fvisibility=hidden -I"$tmp" -I"$root/simulator" \
    -DVELQUAR_SIM_CONFIG_FROM_LIBDIR='"config.ini"' -DVELQUAR_SIM_CONFIG_IN_BUILD_TREE='"config.ini"' \
    "$root/simulator/app_ipc.cpp" \
    "$root/simulator/sim_state.cpp" -Wl,--version-script="$root/simulator/app_ipc.map" -ldl \
    -o "$tmp/libAppIpc.so"
if bash "$root/scripts/abi.sh" check-lib "$baseline" "$tmp/libAppIpc.so" "$tmp/app_ipc.h" \
    >"$tmp/report" 2>&1; then
    echo "changed_record: the check passed a changed record" >&2
    exit 1
fi
if ! grep -q "reserved10" "$tmp/report"; then
    cat "$tmp/report" >&2
    echo "changed_record: the report does not name the changed field" >&2
    exit 1
fi
echo "changed_record: the check reports the changed field"
