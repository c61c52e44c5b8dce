#!/usr/bin/env bash
# Builds the Debian packages (dpkg-buildpackage -b, Release, without the test
# suite) from the files git knows, in a copy under build-deb/ so that the
# worktree's build folders stay out and the packages land in build-deb/.
# Then lintian (any error fails), a look at how the files are split, and
# velquar-props run from the library, tool and simulator packages unpacked
# into a scratch root, as a workstation runs it.
set -euo pipefail
cd "$(dirname "$0")/.."

out=build-deb
rm -rf "$out"
mkdir -p "$out/src"
git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
    xargs -0 cp --parents -t "$out/src"
(cd "$out/src" && DEB_BUILD_OPTIONS="nocheck parallel=2" dpkg-buildpackage -b -uc -us)

lintian --fail-on error "$out"/velquar_*.changes

ma=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
simdir=usr/lib/$ma/velquar/simulator
fail() {
    echo "package: $*" >&2
    exit 1
}
contents() { dpkg-deb -c "$out/$1"_*.deb | awk '{print $6}'; }
for lib in libAppIpc.so libtevrin_mmplayer_ipc.so libAPM.so libteec.so; do
    contents velquar-simulator | grep -qx "./$simdir/$lib" || fail "velquar-simulator lacks $simdir/$lib"
done
for pkg in libcom.orvane.velquar.platform libvelquar-platform-dev velquar-tools; do
    if contents "$pkg" | grep -E '/lib(AppIpc|tevrin_mmplayer_ipc|APM|teec)\.so'; then
        fail "$pkg holds a stand-in"
    fi
done
contents libcom.orvane.velquar.platform | grep -qx "./usr/lib/$ma/libcom.orvane.velquar.platform.so" ||
    fail "the library package lacks the library"

# A scratch root with the library, the tools and the simulated television.
root=$out/root
for pkg in libcom.orvane.velquar.platform velquar-tools velquar-simulator; do
    dpkg-deb -x "$out/$pkg"_*.deb "$root"
done
width=$(LD_LIBRARY_PATH="$root/$simdir:$root/usr/lib/$ma" "$root/usr/bin/velquar-props" --value panelWidth)
[ "$width" = 3840 ] || fail "velquar-props --value panelWidth gave '$width'"
width=$(VELQUAR_SIM_STATE="$root/usr/share/velquar/profiles/1080p-wifi.state" \
    LD_LIBRARY_PATH="$root/$simdir:$root/usr/lib/$ma" "$root/usr/bin/velquar-props" --value panelWidth)
[ "$width" = 1920 ] || fail "the 1080p profile gave a panel width of '$width'"

# A firmware build leaves the whole simulated television out of the install.
firmware=$out/firmware-install
cmake -S "$out/src" -B "$out/src/obj-$(dpkg-architecture -qDEB_HOST_GNU_TYPE)" -DVELQUAR_OMIT_STAND_INS=ON >/dev/null
cmake --install "$out/src/obj-$(dpkg-architecture -qDEB_HOST_GNU_TYPE)" --prefix "$firmware" >/dev/null
[ -e "$firmware/lib/$ma/libcom.orvane.velquar.platform.so" ] || fail "the firmware install lacks the library"
if find "$firmware" -name 'lib*.so' ! -name 'libcom.orvane.velquar.platform.so' | grep .; then
    fail "VELQUAR_OMIT_STAND_INS installed a stand-in"
fi
[ ! -e "$firmware/share/velquar/profiles" ] || fail "VELQUAR_OMIT_STAND_INS installed the profiles"

echo "package: $(ls "$out"/*.deb | wc -l) packages in $out/, lintian reports no error"
