#!/usr/bin/env bash
# Runs inside the throwaway root that scripts/package.sh makes, as root, with
# the packages in /tmp/debs and the consumer's sources in /tmp/package: what
# an application developer and an integrator do with the packages.
set -euo pipefail
cd /tmp/package
ma=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
fail() {
    echo "package: $*" >&2
    exit 1
}
deb() { ls /tmp/debs/"$1"_*.deb; }
# expect STATUS COMMAND...: runs COMMAND, its standard error in err.
expect() {
    local want=$1 got=0
    shift
    "$@" >out 2>err || got=$?
    [ "$got" = "$want" ] || fail "'$*' exited $got, not $want: $(cat err)"
}

# The development package and what it depends on suffice to build an
# application, with pkg-config and with CMake.
dpkg -i "$(deb libcom.orvane.velquar.platform)" "$(deb velquar-stand-ins)" \
    "$(deb libvelquar-platform-dev)" >/dev/null
# Every shell command the library runs comes with every Debian system
# (Essential, or Priority required) or through the library's dependencies;
# this root has more installed than a television's or a minimal one.
depends=$(dpkg-query -W -f='${Depends}' libcom.orvane.velquar.platform)
for command in uname free grep awk cat; do
    real=$(readlink -f "$(command -v "$command")")
    ok=
    for owner in $(dpkg -S "*bin/${real##*/}" | cut -d: -f1 | tr , ' '); do
        case "$(dpkg-query -W -f='${Essential} ${Priority}' "$owner"), $depends," in
        yes* | *required,* | *", $owner,"* | *", $owner "*) ok=1 ;;
        esac
    done
    [ -n "$ok" ] || fail "nothing guarantees '$command' ($real) beside the library"
done

cflags=$(pkg-config --cflags velquar-platform)
[ -z "$cflags" ] || fail "pkg-config --cflags gives '$cflags' for a header in /usr/include"
cc -std=c99 -Wall -Werror -o app consumer.c $(pkg-config --cflags --libs velquar-platform) ||
    fail "the pkg-config build of the consumer failed"
cmake -S . -B cmake-build >/dev/null && cmake --build cmake-build >/dev/null ||
    fail "find_package(VelquarPlatform) build failed"

dpkg -i "$(deb velquar-simulator)" "$(deb velquar-tools)" "$(deb velquar-device-tools)" >/dev/null

# Programs under velquar-sim: the default television and a profile.
for row in "./app|panelWidth=3840|" "./cmake-build/consumer|panelWidth=3840|" \
    "./app|panelWidth=1920|--profile 1080p-wifi" \
    "velquar-props --value panelWidth|1920|--profile=1080p-wifi" \
    "./app|panelWidth=1920|--state /usr/share/velquar/profiles/1080p-wifi.state"; do
    IFS='|' read -r program want options <<<"$row"
    got=$(velquar-sim $options -- $program) || fail "velquar-sim $options $program failed"
    [ "$got" = "$want" ] || fail "velquar-sim $options $program printed '$got', not '$want'"
done
expect 0 velquar-sim velquar-props --check
expect 1 velquar-sim --profile all-fail velquar-props --check
expect 7 velquar-sim sh -c 'exit 7'
expect 0 sh -c 'VELQUAR_SIM_STATE=/usr/share/velquar/profiles/1080p-wifi.state velquar-sim ./app |
    grep -qx panelWidth=3840'
for bad in "--profile nosuch true" "--profile ../profiles/4k-hdr true" "--state /nonexistent true" \
    "--bogus true" "--profile 4k-hdr" "--profile 4k-hdr --state /dev/null true"; do
    expect 2 velquar-sim $bad
    grep -q '^velquar-sim: ' err || fail "velquar-sim $bad: no 'velquar-sim: message' line"
done
# A bundle of the simulated television replays through the packaged helper;
# in a chroot (the throwaway root) the kernel refuses a user namespace, and
# the replay says so in one line and runs nothing.
velquar-sim --profile 1080p-wifi velquar-capture --bundle bundle 2>/dev/null || fail "no bundle captured"
got=0
velquar-sim --bundle bundle velquar-props --value panelWidth >out 2>err || got=$?
case $got/$(cat out) in
0/1920) ;;
1/) grep -qx 'velquar-sim: --bundle: a complete replay is not possible here: .*' err ||
    fail "velquar-sim --bundle: $(cat err)" ;;
*) fail "velquar-sim --bundle exited $got with '$(cat out)': $(cat err)" ;;
esac
expect 2 velquar-sim --bundle bundle --profile 4k-hdr true
# The packaged velquar-fleet finds velquar-sim and velquar-props in /usr/bin;
# where the replay is refused, it says so in the bundle's line.
if [ "$got" = 0 ]; then
    expect 0 velquar-fleet record bundle
    expect 0 velquar-fleet check bundle
    grep -qx '1 bundle: 0 changed, 1 unchanged, 0 not checked' out ||
        fail "velquar-fleet check: $(cat out) $(cat err)"
else
    expect 1 velquar-fleet record bundle
    grep -q '^bundle: not recorded: the replay failed (status 1): velquar-sim: --bundle: ' out ||
        fail "velquar-fleet record: $(cat out) $(cat err)"
    expect 2 velquar-fleet check bundle
fi
expect 0 velquar-sim --list-profiles
grep -Eq '^1080p-wifi +1920x1080 +no HDR +Wi-Fi$' out || fail "--list-profiles: $(cat out)"
[ "$(wc -l <out)" = "$(ls /usr/share/velquar/profiles/*.state | wc -l)" ] ||
    fail "--list-profiles does not list every profile once"
# Outside velquar-sim, the message names it.
expect 1 velquar-props --value panelWidth
grep -q velquar-sim err || fail "velquar-props does not name velquar-sim: $(cat err)"

# Root tools apart, in /usr/sbin.
[ -x /usr/sbin/dravel ] && [ -x /usr/sbin/factory-reset ] || fail "the root tools are not in /usr/sbin"

# Derived dependencies: the library package, at the version the
# application build-depends on through the development package.
mkdir -p shlibs/debian
for row in "|(>= 1.0.0)" "libvelquar-platform-dev (>= 1.4.0)|(>= 1.4.0)"; do
    IFS='|' read -r builddep want <<<"$row"
    printf 'Source: app\nBuild-Depends: %s\n\nPackage: app\nArchitecture: any\n' "$builddep" \
        >shlibs/debian/control
    got=$(cd shlibs && dpkg-shlibdeps -O ../app 2>&1)
    [[ $got == *"libcom.orvane.velquar.platform $want"* ]] ||
        fail "dpkg-shlibdeps with '$builddep' gave: $got"
done

# Completion as bash-completion loads it on first use.
complete_words() {
    bash -c '. /usr/share/bash-completion/bash_completion
        __load_completion "$1" || exit 1
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        $(complete -p "$1" | sed -E "s/.*-F ([^ ]+) .*/\1/") "$1" "${@: -1}" "${@: -2:1}"
        printf "%s\n" "${COMPREPLY[@]}"' complete "$@"
}
[ "$(complete_words velquar-props '' | wc -l)" = 49 ] || fail "velquar-props does not complete 49 names"
complete_words velquar-props panelW | grep -qx panelWidth || fail "velquar-props panelW does not complete"
complete_words velquar-props --va | grep -qx -- --value || fail "velquar-props --va does not complete"
complete_words velquar-sim --profile 1080 | grep -qx 1080p-wifi || fail "no profile after --profile"
complete_words velquar-capture --bu | grep -qx -- --bundle || fail "velquar-capture --bu does not complete"
complete_words velquar-fleet ch | grep -qx check || fail "velquar-fleet ch does not complete"

zcat /usr/share/doc/velquar-tools/NEWS.gz | grep -q '^1\.4\.0$' || fail "NEWS is not installed"

# Purging every package leaves none of their files.
packages=(velquar-device-tools velquar-tools velquar-simulator libvelquar-platform-dev
    velquar-stand-ins libcom.orvane.velquar.platform)
files=$(for p in "${packages[@]}"; do dpkg -L "$p"; done | sort -u)
dpkg --purge "${packages[@]}" >/dev/null
left=$(while read -r f; do
    if [ -e "$f" ] && [ ! -d "$f" ]; then echo "$f"; fi
done <<<"$files")
for d in /usr/lib/$ma/velquar /usr/lib/$ma/cmake/VelquarPlatform /usr/share/velquar \
    /usr/share/doc/velquar-tools /var/lib/dpkg/info/velquar-tools.list; do
    [ ! -e "$d" ] || left+=" $d"
done
[ -z "$left" ] || fail "purging left: $left"
echo "package: installed, built an application against, ran under velquar-sim and purged"
