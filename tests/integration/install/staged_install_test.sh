#!/usr/bin/env bash
# Installs the build into a staging folder as a package would (prefix /usr) and checks what lands
# there: every expected file and nothing else, the launcher and the AppStream file valid for the
# desktop's own tools, the icon at each size, the manual pages well-formed.
# Usage: staged_install_test.sh BUILD_DIR SOURCE_DIR APP_ID VERSION
set -euo pipefail
BUILD_DIR=$1 SOURCE_DIR=$2 APP_ID=$3 VERSION=$4
WORK=$BUILD_DIR/tests/integration/install/staged
STAGE=$WORK/root
rm -rf --one-file-system "$WORK"
mkdir -p "$WORK"
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

DESTDIR=$STAGE cmake --install "$BUILD_DIR" --prefix /usr >"$WORK/install.log"

sizes=(16 22 24 32 48 64 128 256 512)
{
    echo usr/bin/marrowdale
    echo usr/bin/marrowdale-record
    echo "usr/share/applications/$APP_ID.desktop"
    echo usr/share/bash-completion/completions/marrowdale-record
    for s in "${sizes[@]}"; do echo "usr/share/icons/hicolor/${s}x${s}/apps/$APP_ID.png"; done
    echo "usr/share/icons/hicolor/scalable/apps/$APP_ID.svg"
    echo usr/share/man/man1/marrowdale-record.1.gz
    echo usr/share/man/man1/marrowdale.1.gz
    echo "usr/share/metainfo/$APP_ID.metainfo.xml"
} | sort >"$WORK/expected"
(cd "$STAGE" && find . ! -type d | sed 's|^\./||' | sort) >"$WORK/installed"
diff -u "$WORK/expected" "$WORK/installed" || fail "installed files differ from the expected ones"

for p in marrowdale marrowdale-record; do
    [ -x "$STAGE/usr/bin/$p" ] || fail "usr/bin/$p is not executable"
done
"$STAGE/usr/bin/marrowdale-record" --version | grep -qx "marrowdale-record $VERSION" ||
    fail "marrowdale-record --version does not say $VERSION"

# The launcher: valid, and every Exec line starts an installed program.
desktop=$STAGE/usr/share/applications/$APP_ID.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate: $desktop"
while IFS= read -r exec; do
    program=${exec#Exec=}
    program=${program%% *}
    [ -x "$STAGE/usr/bin/$program" ] || fail "launcher line '$exec' starts no installed program"
done < <(grep '^Exec=' "$desktop")

# The icon: each picture has its size.
for s in "${sizes[@]}"; do
    png=$STAGE/usr/share/icons/hicolor/${s}x${s}/apps/$APP_ID.png
    got=$(identify -format '%wx%h' "$png" 2>/dev/null || echo unreadable)
    [ "$got" = "${s}x${s}" ] || fail "$png is $got, not ${s}x${s}"
done
xmllint --noout "$STAGE/usr/share/icons/hicolor/scalable/apps/$APP_ID.svg" ||
    fail "the scalable icon is not well-formed"

# The AppStream file: valid, its screenshots the README's pictures, its newest release the
# program's version.
metainfo=$STAGE/usr/share/metainfo/$APP_ID.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate: $metainfo"
shots=$(grep -o '<image>[^<]*</image>' "$metainfo" | sed 's|</image>||; s|.*/||')
[ -n "$shots" ] || fail "the AppStream file shows no screenshot"
for shot in $shots; do
    [ -f "$SOURCE_DIR/docs/$shot" ] || fail "screenshot $shot is not in docs/"
    grep -q "(docs/$shot)" "$SOURCE_DIR/README.md" || fail "screenshot $shot is not in the README"
done
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n1 | cut -d'"' -f2)
[ "$newest" = "$VERSION" ] || fail "the newest AppStream release is '$newest', not $VERSION"

# The manual pages: well-formed for man.
for page in marrowdale-record marrowdale; do
    gz=$STAGE/usr/share/man/man1/$page.1.gz
    warnings=$(zcat "$gz" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "$page(1): $warnings"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "staged install: $(wc -l <"$WORK/installed") files, all checks passed"
