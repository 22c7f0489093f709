#!/usr/bin/env bash
# The Debian package, as a user of a fresh Debian system gets it: builds the package from this
# build (cpack), makes a minimal Debian root of the host's release (debootstrap --variant=minbase)
# in a folder of its own, installs the package there with apt-get, which fetches its dependencies
# from the Debian mirror, and runs the programs inside (chroot): marrowdale-record --version and
# --help, every shared library found, and the desktop program starting on Qt's offscreen screen.
# Needs root and the mirror (MARROWDALE_DEBIAN_MIRROR, default http://deb.debian.org/debian).
# Downloads are kept in the build folder for the next run; nothing else is kept.
# Usage: package_in_debian_root_test.sh BUILD_DIR VERSION
set -euo pipefail
BUILD_DIR=$(realpath "$1") VERSION=$2
MIRROR=${MARROWDALE_DEBIAN_MIRROR:-http://deb.debian.org/debian}
WORK=$BUILD_DIR/tests/integration/install/debian-root
ROOT=$WORK/root
CACHE=$WORK/downloads
SKIP=77

if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: making a Debian root and running chroot needs root"
    exit $SKIP
fi
DISTRIBUTION=$(. /etc/os-release && echo "${ID:-}")
SUITE=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
if [ "$DISTRIBUTION" != debian ] || [ -z "$SUITE" ]; then
    echo "skipped: the package is built for the Debian release it is built on; this is $DISTRIBUTION"
    exit $SKIP
fi
ARCH=$(dpkg --print-architecture)

# Mounts below the root go before anything is removed; removal never leaves its file system.
mounts_below_root() { awk -v r="$ROOT/" 'index($2, r) == 1 { print $2 }' /proc/mounts | sort -r; }
clean_root() {
    local m
    for m in $(mounts_below_root); do umount "$m" || umount -l "$m" || true; done
    if [ -n "$(mounts_below_root)" ]; then
        echo "still mounted below $ROOT; not removing it" >&2
        return 1
    fi
    rm -rf --one-file-system "$ROOT"
}
in_root() { chroot "$ROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
trap clean_root EXIT

mkdir -p "$WORK" "$CACHE/debootstrap" "$CACHE/apt"
clean_root

echo "== the package"
rm -rf "$WORK/package"
cpack --config "$BUILD_DIR/CPackConfig.cmake" -G DEB -B "$WORK/package" >"$WORK/cpack.log" 2>&1 || {
    cat "$WORK/cpack.log" >&2
    exit 1
}
DEB=$(ls "$WORK/package"/marrowdale_*.deb)
dpkg-deb --field "$DEB" Package Version Depends
[ "$(dpkg-deb --field "$DEB" Version)" = "$VERSION" ] || { echo "package version is not $VERSION" >&2; exit 1; }

echo "== a minimal Debian $SUITE root from $MIRROR"
if ! wget -q -T 20 -t 2 -O /dev/null "$MIRROR/dists/$SUITE/Release"; then
    echo "the Debian mirror $MIRROR cannot be reached (set MARROWDALE_DEBIAN_MIRROR)" >&2
    exit 1
fi
# A second try for a download cut short; what was fetched stays in the cache.
for try in 1 2; do
    debootstrap --variant=minbase --arch="$ARCH" --cache-dir="$CACHE/debootstrap" \
        "$SUITE" "$ROOT" "$MIRROR" >"$WORK/debootstrap.log" 2>&1 && break
    tail -n 30 "$WORK/debootstrap.log" >&2
    clean_root
    [ "$try" -eq 1 ] || exit 1
done
# As a fresh system has them: the release's updates beside it.
echo "deb $MIRROR $SUITE-updates main" >>"$ROOT/etc/apt/sources.list"
mount -t proc proc "$ROOT/proc"

echo "== apt-get install ./$(basename "$DEB")"
cp "$DEB" "$ROOT/tmp/"
cp "$CACHE/apt"/*.deb "$ROOT/var/cache/apt/archives/" 2>/dev/null || true
in_root apt-get -o Acquire::Retries=3 update -qq >"$WORK/apt.log" 2>&1 &&
    in_root env DEBIAN_FRONTEND=noninteractive apt-get -o Acquire::Retries=3 install -y -q \
        --no-install-recommends \
        "/tmp/$(basename "$DEB")" >>"$WORK/apt.log" 2>&1 || {
    tail -n 40 "$WORK/apt.log" >&2
    exit 1
}
cp -u "$ROOT/var/cache/apt/archives"/*.deb "$CACHE/apt/" 2>/dev/null || true
grep -E '^(Get|Setting up)' "$WORK/apt.log" | grep -c '^Setting up' | sed 's/^/packages set up: /'

echo "== the programs inside"
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
got=$(in_root marrowdale-record --version) || fail "marrowdale-record --version exited with $?"
[ "$got" = "marrowdale-record $VERSION" ] || fail "marrowdale-record --version said '$got'"
echo "$got"
help=$(in_root marrowdale-record --help) || fail "marrowdale-record --help exited with $?"
[ "$help" = "$("$BUILD_DIR/cli/marrowdale-record" --help)" ] ||
    fail "marrowdale-record --help differs from the build's"
head -n1 <<<"$help"
missing=$(in_root ldd /usr/bin/marrowdale /usr/bin/marrowdale-record | grep 'not found' || true)
[ -z "$missing" ] || fail "libraries not found: $missing"
# The desktop program starts and keeps running until it is stopped (timeout's 124).
status=0
in_root env QT_QPA_PLATFORM=offscreen timeout 5 marrowdale >"$WORK/marrowdale.log" 2>&1 || status=$?
[ "$status" -eq 124 ] || fail "marrowdale ended with $status: $(cat "$WORK/marrowdale.log")"
in_root test -f /usr/share/man/man1/marrowdale-record.1.gz || fail "no manual page"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "the package installs into a fresh Debian $SUITE root and its programs run there"
