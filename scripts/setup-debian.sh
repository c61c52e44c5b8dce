#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when missing;
# or, given package names, those. A name ending in ":armhf" turns on the armhf
# architecture first, and nothing installed already is removed for it.
set -euo pipefail

packages=("$@")
[ $# -gt 0 ] || packages=(
    build-essential cmake pkg-config git
    libiniparser-dev libcurl4-openssl-dev nlohmann-json3-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    clang-format util-linux valgrind
    clang libclang-rt-14-dev
    python3 mandoc abigail-tools
    debhelper dpkg-dev lintian fakeroot bash-completion
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "setup: installing ${missing[*]}" >&2
if [[ " ${missing[*]}" == *:armhf* ]] && ! dpkg --print-foreign-architectures | grep -qx armhf; then
    $sudo dpkg --add-architecture armhf
fi
# A mirror caught mid-sync fails some lists; what the others hold still serves.
update_tries=0
until $sudo apt-get update -qq; do
    update_tries=$((update_tries + 1))
    if [ $update_tries -ge 3 ]; then
        echo "setup: apt-get update failed $update_tries times; going on with the package lists there are" >&2
        break
    fi
    sleep 10
done
DEBIAN_FRONTEND=noninteractive $sudo apt-get install --no-remove -y -qq --no-install-recommends \
    "${missing[@]}" >&2
