#!/usr/bin/env bash
# The project's own fleet: a bundle per profile of the simulated television
# in tests/fleet/, each with its golden answers, which the test suite checks
# the library just built against (Fleet.ShippedProfilesKeepTheirAnswers).
#
#   bash scripts/fleet-record.sh [BUILD_DIR]            records the golden answers again
#   bash scripts/fleet-record.sh --capture [BUILD_DIR]  captures the bundles anew, then records
#
# BUILD_DIR is a build of this tree (default: build). Record again only on
# purpose: when a change is meant to move an answer, or a profile changed;
# the commit then says which answers moved and why.
set -euo pipefail
cd "$(dirname "$0")/.."

capture=0
if [ "${1:-}" = --capture ]; then
    capture=1
    shift
fi
case "${1:-}" in
    -*)
        echo "usage: $0 [--capture] [BUILD_DIR]" >&2
        exit 2
        ;;
esac
build=${1:-build}
bin=$build/bin
fleet=tests/fleet
profiles=(1080p-wifi 4k-hdr all-fail wrong-input-source)
for program in velquar-sim velquar-capture velquar-props velquar-fleet; do
    [ -x "$bin/$program" ] || {
        echo "fleet-record: $bin/$program is missing: build $build first" >&2
        exit 1
    }
done

if [ "$capture" -eq 1 ]; then
    # The desk machine's own system (its uname, memory figures and wireless
    # table) stays out of the bundles: the library's shell commands find
    # these first, so a capture gives the same bundle on any machine.
    shims=$(mktemp -d)
    trap 'rm -rf "$shims"' EXIT
    cat >"$shims/uname" <<'SHIM'
#!/bin/sh
case "$1" in
    -o) echo GNU/Linux ;;
    *) echo "Linux velquar-tv 4.19.116 #1 SMP PREEMPT Mon Nov 30 10:00:00 UTC 2026 armv7l GNU/Linux" ;;
esac
SHIM
    cat >"$shims/free" <<'SHIM'
#!/bin/sh
echo "               total        used        free      shared  buff/cache   available"
echo "Mem:         1536000      712000      402000       12000      422000      768000"
echo "Swap:              0           0           0"
SHIM
    cat >"$shims/cat" <<'SHIM'
#!/bin/sh
[ "$1" = /proc/net/wireless ] || exec /bin/cat "$@"
echo "Inter-| sta-|   Quality        |   Discarded packets               | Missed | WE"
echo " face | tus | link level noise |  nwid  crypt   frag  retry   misc | beacon | 22"
echo " wlan0: 0000   62.  -48.  -256        0      0      0      0      0        0"
SHIM
    chmod 755 "$shims"/*
    for p in "${profiles[@]}"; do
        # Two of them with a certificate bundle, two without.
        ca=()
        case $p in
            1080p-wifi) ca=(CURL_CA_BUNDLE_PATH=/etc/ssl/certs/ca-certificates.crt) ;;
            wrong-input-source) ca=(CURL_CA_BUNDLE_PATH=tv-ca.pem) ;;
        esac
        rm -rf "${fleet:?}/$p"
        mkdir -p "$fleet"
        env -u CURL_CA_BUNDLE_PATH "${ca[@]}" PATH="$shims:$PATH" \
            "$bin/velquar-sim" --profile "$p" "$bin/velquar-capture" --bundle "$fleet/$p" 2>/dev/null
        echo "fleet-record: captured $fleet/$p" >&2
    done
fi

bundles=()
for p in "${profiles[@]}"; do
    bundles+=("$fleet/$p")
done
"$bin/velquar-fleet" record --library "$PWD/$build/lib/libcom.orvane.velquar.platform.so" "${bundles[@]}"
