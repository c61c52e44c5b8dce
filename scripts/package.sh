#!/usr/bin/env bash
# Builds the Debian packages (dpkg-buildpackage -b, Release, without the test
# suite) from the files git knows, in a copy under build-deb/ so that the
# worktree's build folders stay out and the packages land in build-deb/.
# Then lintian (any error or warning fails), a look at how the files are
# split, and tests/package/installed.sh in a throwaway root: this machine's
# Debian system under a private, memory-backed overlay in a mount namespace
# of its own, where the packages are installed, used and purged; nothing of
# it outlives the namespace. That part needs root.
set -euo pipefail
cd "$(dirname "$0")/.."

out=build-deb
rm -rf "$out"
mkdir -p "$out/src"
git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
    xargs -0 cp --parents -t "$out/src"
(cd "$out/src" && DEB_BUILD_OPTIONS="nocheck parallel=2" dpkg-buildpackage -b -uc -us)

lintian --fail-on error,warning "$out"/velquar_*.changes

ma=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
simdir=usr/lib/$ma/velquar/simulator
fail() {
    echo "package: $*" >&2
    exit 1
}
contents() { dpkg-deb -c "$out/$1"_*.deb | awk '{print $6}'; }
for lib in libAppIpc.so libtevrin_mmplayer_ipc.so libAPM.so libteec.so; do
    contents velquar-stand-ins | grep -qx "./$simdir/$lib" || fail "velquar-stand-ins lacks $simdir/$lib"
done
for pkg in libcom.orvane.velquar.platform libvelquar-platform-dev velquar-tools velquar-simulator \
    velquar-device-tools; do
    if contents "$pkg" | grep -E '/lib(AppIpc|tevrin_mmplayer_ipc|APM|teec)\.so'; then
        fail "$pkg holds a stand-in"
    fi
done
contents libcom.orvane.velquar.platform | grep -qx "./usr/lib/$ma/libcom.orvane.velquar.platform.so" ||
    fail "the library package lacks the library"
if contents velquar-tools | grep -E 'dravel|factory-reset'; then
    fail "velquar-tools holds a root tool"
fi

# The throwaway root.
[ "$(id -u)" = 0 ] || fail "installing the packages into a throwaway root needs root"
scratch=$(mktemp -d)
trap 'rmdir "$scratch"' EXIT
unshare -m --propagation private bash -euo pipefail -s "$scratch" "$out" <<'ROOT'
scratch=$1 out=$2
mount -t tmpfs velquar-package-root "$scratch"
mkdir "$scratch/upper" "$scratch/work" "$scratch/root"
mount -t overlay overlay -o "lowerdir=/,upperdir=$scratch/upper,workdir=$scratch/work" "$scratch/root"
r=$scratch/root
mount --rbind /dev "$r/dev"
mount -t proc proc "$r/proc"
mount -t tmpfs tmpfs "$r/tmp"
# Only Debian's packages: whatever was installed by hand is out of sight.
mount -t tmpfs tmpfs "$r/usr/local"
mkdir "$r/tmp/debs" "$r/tmp/package"
cp "$out"/*.deb "$r/tmp/debs/"
rm -f "$r"/tmp/debs/*-dbgsym_*.deb
cp tests/package/consumer.c tests/package/CMakeLists.txt tests/package/installed.sh "$r/tmp/package/"
chroot "$r" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    bash /tmp/package/installed.sh </dev/null
ROOT

# A firmware build leaves the whole simulated television out of the install.
firmware=$out/firmware-install
cmake -S "$out/src" -B "$out/src/obj-$(dpkg-architecture -qDEB_HOST_GNU_TYPE)" -DVELQUAR_OMIT_STAND_INS=ON >/dev/null
cmake --install "$out/src/obj-$(dpkg-architecture -qDEB_HOST_GNU_TYPE)" --prefix "$firmware" >/dev/null
[ -e "$firmware/lib/$ma/libcom.orvane.velquar.platform.so" ] || fail "the firmware install lacks the library"
if find "$firmware" -name 'lib*.so' ! -name 'libcom.orvane.velquar.platform.so' | grep .; then
    fail "VELQUAR_OMIT_STAND_INS installed a stand-in"
fi
[ ! -e "$firmware/share/velquar/profiles" ] || fail "VELQUAR_OMIT_STAND_INS installed the profiles"
[ ! -e "$firmware/bin/velquar-sim" ] || fail "VELQUAR_OMIT_STAND_INS installed velquar-sim"

echo "package: $(ls "$out"/*.deb | wc -l) packages in $out/, lintian reports no error or warning"
