#!/usr/bin/env bash
# The binary interface of the library and of the platform libraries' stand-ins
# (their exported functions and the types of their headers), kept as abidw
# dumps in tests/abi/MACHINE/ and compared with abidiff.
#
#   scripts/abi.sh check BUILD_DIR    fails on any change against the baselines
#   scripts/abi.sh update BUILD_DIR   writes the baselines anew from BUILD_DIR
#   scripts/abi.sh check-lib BASELINE LIBRARY HEADER...
#
# The result codes are macros, which no binary holds: their definitions are
# kept in tests/abi/result-codes.h and compared as text.
#
# MACHINE (x86_64, arm) is read from the library's ELF header. The build needs
# debugging information (Debug or RelWithDebInfo): without it abidw sees only
# symbol names.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# Each library with the headers that declare its interface. The configuration
# store's classes are exported, so their header is part of it.
libraries=(
    "libcom.orvane.velquar.platform.so platform/include/velquar_platform.h platform/brennic_setting.h"
    "libAppIpc.so platform/services/app_ipc.h"
    "libtevrin_mmplayer_ipc.so platform/services/tevrin_mm_player.h"
    "libAPM.so platform/services/apm.h"
    "libteec.so platform/services/teec/tee_client_api.h"
)

# dump LIBRARY OUT HEADER...: the library's exported functions and variables
# and the types they reach; no locations, which move with any edit, and
# source paths relative to the checkout.
dump() {
    local library=$1 out=$2 h
    shift 2
    local headers=()
    for h in "$@"; do
        headers+=(--header-file "$h")
    done
    abidw --no-show-locs --no-comp-dir-path --no-corpus-path --exported-interfaces-only \
        --drop-private-types "${headers[@]}" "$library" | sed "s|path='$root/|path='|" >"$out"
}

# check_lib BASELINE LIBRARY HEADER...: abidiff's report, and failure, on any
# change: added functions count as much as removed or changed ones.
check_lib() {
    local baseline=$1 library=$2
    shift 2
    local now
    now=$(mktemp)
    trap 'rm -f "$now"' RETURN
    dump "$library" "$now" "$@"
    if ! abidiff --no-show-locs "$baseline" "$now"; then
        echo "abi: $(basename "$library") differs from $baseline" >&2
        return 1
    fi
    echo "abi: $(basename "$library") matches $(basename "$(dirname "$baseline")")/$(basename "$baseline")"
}

# The public header's result-code definitions, as the preprocessor sees them.
result_codes() {
    cc -E -dM -x c "$root/platform/include/velquar_platform.h" | grep '^#define PROPERTY_' | sort
}

machine() {
    case "$(readelf -h "$1" | sed -n 's/^ *Machine: *//p')" in
        *X86-64*) echo x86_64 ;;
        ARM) echo arm ;;
        *) echo "abi: no baselines for the machine of $1" >&2 && return 1 ;;
    esac
}

mode=${1:-}
case "$mode" in
    check-lib)
        shift
        check_lib "$@"
        ;;
    check | update)
        build=${2:?usage: scripts/abi.sh check|update BUILD_DIR}
        dir=$root/tests/abi/$(machine "$build/lib/libcom.orvane.velquar.platform.so")
        mkdir -p "$dir"
        failed=0
        codes=$root/tests/abi/result-codes.h
        if [ "$mode" = update ]; then
            result_codes >"$codes"
            echo "abi: wrote $codes"
        elif ! result_codes | diff -u "$codes" -; then
            echo "abi: the result codes differ from $codes" >&2
            failed=1
        fi
        for entry in "${libraries[@]}"; do
            read -r name headers <<<"$entry"
            library=$build/lib/$name
            # An installed OP-TEE client, or the vendor's SDK, leaves no stand-in.
            [ -e "$library" ] || continue
            read -ra files <<<"$headers"
            files=("${files[@]/#/$root/}")
            if [ "$mode" = update ]; then
                dump "$library" "$dir/$name.abi" "${files[@]}"
                echo "abi: wrote $dir/$name.abi"
            else
                check_lib "$dir/$name.abi" "$library" "${files[@]}" || failed=1
            fi
        done
        exit $failed
        ;;
    *)
        echo "usage: scripts/abi.sh check|update BUILD_DIR" >&2
        exit 2
        ;;
esac
