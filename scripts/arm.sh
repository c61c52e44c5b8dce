#!/usr/bin/env bash
# Builds everything for the television (32-bit ARM Linux, arm-linux-gnueabihf)
# and runs the whole test suite under qemu-user; installs the build and checks
# what an application build gets from it: a 32-bit ARM library that a small C
# program links through pkg-config and through find_package, and that answers
# a property. Then the stripped Firmware builds for ARM and for this machine,
# the same package checks on the host's, and the sizes of both.
#
# Sets up a fresh Debian 12 machine first (armhf multiarch, cross compiler,
# qemu-user, the armhf -dev packages), as root or through sudo.
set -euo pipefail
cd "$(dirname "$0")/.."

toolchain=$PWD/cmake/arm-linux-gnueabihf.cmake
emulator=(qemu-arm -L /usr/arm-linux-gnueabihf)
library_path=/lib
toolchain_args=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
link_args=()

setup() {
    bash scripts/setup-debian.sh build-essential cmake pkg-config file crossbuild-essential-armhf \
        qemu-user nlohmann-json3-dev libiniparser-dev:armhf libgtest-dev:armhf
    # The armhf libcurl must be the very version of the host's (multiarch
    # "same"). When the mirror's armhf lists lag the host's security updates
    # apt cannot install it; then it and the libraries it needs are unpacked
    # into a private tree that the toolchain file is told of.
    if ! bash scripts/setup-debian.sh libcurl4-openssl-dev:armhf; then
        curl_sysroot "$PWD/build-arm-sysroot"
    fi
}

# curl_sysroot DIR: libcurl's armhf development files and its libraries
# (without the C and GCC runtimes, which the cross tree has) unpacked in DIR.
curl_sysroot() {
    local root=$1
    echo "arm: the armhf libcurl cannot be installed beside the host's; unpacking it into $root" >&2
    if [ ! -e "$root/.complete" ]; then
        rm -rf "$root" && mkdir -p "$root/debs"
        local packages
        packages=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts \
            --no-breaks --no-replaces --no-enhances --no-pre-depends libcurl4-openssl-dev:armhf |
            grep -v '^ ' | grep ':armhf$' | grep -v -e '^libc6:' -e '^libgcc-s1:' -e '^gcc-12-base:' | sort -u)
        # shellcheck disable=SC2086
        (cd "$root/debs" && apt-get download $packages >&2)
        local deb
        for deb in "$root"/debs/*.deb; do
            dpkg-deb -x "$deb" "$root"
        done
        touch "$root/.complete"
    fi
    toolchain_args+=(-DVELQUAR_ARM_SYSROOT="$root")
    local libs=$root/usr/lib/arm-linux-gnueabihf:$root/lib/arm-linux-gnueabihf
    library_path+=":$libs"
    link_args+=("-Wl,-rpath-link,$libs")
}

# build DIR BUILD_TYPE [CMAKE ARGS...]: configures, builds, installs to DIR/install.
build() {
    local dir=$1 type=$2
    shift 2
    rm -rf "$dir/install"
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
    cmake --build "$dir" -j2
    cmake --install "$dir" --prefix "$dir/install" >/dev/null
}

# check_package PREFIX ARM|HOST: a C program built against the installed
# library, once through its pkg-config file and once through find_package,
# links and reads panelWidth from the installed stand-ins (on this machine
# run by the install's velquar-sim).
check_package() {
    local prefix=$1 machine=$2 cc=gcc run=() cmake_args=() ldflags=()
    if [ "$machine" = ARM ]; then
        cc=arm-linux-gnueabihf-gcc
        ldflags=(${link_args[@]+"${link_args[@]}"})
        # The cross tree's C library goes with its loader (see the toolchain file).
        run=("${emulator[@]}" -E "LD_LIBRARY_PATH=$library_path:$prefix/lib")
        cmake_args=("${toolchain_args[@]}")
    else
        # velquar-sim of the install finds its own stand-ins and library.
        run=("$prefix/bin/velquar-sim" --)
    fi
    local out=$prefix/../consumer
    rm -rf "$out" && mkdir -p "$out"
    local flags
    flags=$(PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig pkg-config --cflags --libs velquar-platform)
    $cc -std=c99 -Wall -Werror -o "$out/pkg-config-consumer" tests/package/consumer.c $flags \
        ${ldflags[@]+"${ldflags[@]}"}
    cmake -S tests/package -B "$out/cmake" "${cmake_args[@]}" -DCMAKE_PREFIX_PATH="$prefix" \
        >/dev/null
    cmake --build "$out/cmake" >/dev/null
    local program answer
    for program in "$out/pkg-config-consumer" "$out/cmake/consumer"; do
        answer=$("${run[@]}" "$program") || true
        if [ "$answer" != "panelWidth=3840" ]; then
            echo "arm: $machine $program answered '$answer'" >&2
            return 1
        fi
        echo "arm: $machine $(basename "$program") links the installed library: $answer"
    done
}

# check_file FILE PATTERN: what `file` says of FILE must match PATTERN.
check_file() {
    local said
    said=$(file -b "$1")
    if ! grep -q "$2" <<<"$said"; then
        echo "arm: $1 is not '$2': $said" >&2
        return 1
    fi
    echo "arm: $(basename "$1"): $said"
}

# check_needed FILE LIBRARIES: FILE (ARM) needs exactly these shared libraries.
check_needed() {
    local needed
    needed=$(arm-linux-gnueabihf-readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | xargs)
    if [ "$needed" != "$2" ]; then
        echo "arm: $1 needs '$needed', not '$2'" >&2
        return 1
    fi
    echo "arm: $(basename "$1") needs $needed"
}

sizes() {
    local prefix=$1 f
    for f in lib/libcom.orvane.velquar.platform.so bin/dravel bin/factory-reset; do
        printf '%s %-40s %8d bytes\n' "$2" "$f" "$(stat -c %s "$prefix/$f")"
    done
}

setup

# The whole suite, built for ARM and run under the emulator; with debugging
# information, from which the suite's ABI check reads the types.
build build-arm RelWithDebInfo "${toolchain_args[@]}"
# No test is run again after a time-out: a rerun would hide a deadlock. The
# rows of many threads, forks and signals (label "concurrency") run ten
# times more under the emulator, where thread timing differs most from this
# machine's; any failure or time-out of any run fails.
ctest --test-dir build-arm -j2 --output-on-failure --no-tests=error
ctest --test-dir build-arm -j2 --output-on-failure --no-tests=error -L concurrency \
    --repeat until-fail:10
check_file build-arm/install/lib/libcom.orvane.velquar.platform.so '32-bit.*ARM'
check_package "$PWD/build-arm/install" ARM
check_needed build-arm/install/bin/dravel libc.so.6
# The recorder loads the platform's libraries itself and never the library.
check_file build-arm/install/bin/velquar-capture '32-bit.*ARM'
check_needed build-arm/install/bin/velquar-capture \
    "libiniparser.so.1 libstdc++.so.6 libgcc_s.so.1 libc.so.6"

# What goes onto the television, and the same build for this machine.
build build-arm-firmware Firmware "${toolchain_args[@]}" -DVELQUAR_BUILD_TESTS=OFF
check_file build-arm-firmware/install/lib/libcom.orvane.velquar.platform.so '32-bit.*ARM.*, stripped'
check_package "$PWD/build-arm-firmware/install" ARM
build build-host-firmware Firmware -DVELQUAR_BUILD_TESTS=OFF
check_file build-host-firmware/install/lib/libcom.orvane.velquar.platform.so ', stripped'
check_package "$PWD/build-host-firmware/install" HOST
sizes build-arm-firmware/install arm
sizes build-host-firmware/install host
