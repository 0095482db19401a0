#!/usr/bin/env bash
# Builds the Debian package from the finished build (cpack installs it, nothing is
# compiled), shows its contents and dependencies, checks them, and runs the packaged
# trawlex-batch, unpacked, over the packaged demo site.
set -euo pipefail
BUILD=$1
source "$(dirname "$0")/common.sh"

(cd "$BUILD" && cpack -G DEB -B "$WORK/package" >"$WORK/cpack.log" 2>&1) ||
    { cat "$WORK/cpack.log" >&2; fail "cpack failed"; }
debs=("$WORK"/package/trawlex_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one trawlex_*.deb: ${debs[*]}"
deb=${debs[0]}
echo "== $(basename "$deb")"
dpkg-deb --info "$deb"
echo "== contents"
dpkg-deb --contents "$deb" | tee "$WORK/contents.txt"

files=$(awk '{print $6}' "$WORK/contents.txt")
for f in ./usr/bin/trawlex ./usr/bin/trawlex-batch ./usr/share/trawlex/index.tpl.html \
    ./usr/share/trawlex/us_demo_directory.orp.json ./usr/share/trawlex/demo/index.html \
    ./usr/share/applications/example.trawlex.Trawlex.desktop \
    ./usr/share/metainfo/example.trawlex.Trawlex.metainfo.xml \
    ./usr/share/mime/packages/example.trawlex.Trawlex.xml \
    ./usr/share/icons/hicolor/48x48/apps/example.trawlex.Trawlex.png \
    ./usr/share/man/man1/trawlex-batch.1.gz ./usr/share/man/man1/trawlex.1.gz \
    ./usr/lib/systemd/system/trawlex-batch@.service; do
    grep -qxF "$f" <<<"$files" || fail "the package lacks $f"
done
! grep -v '^\./usr/' <<<"$files" | grep -vx '\./' | grep -q . || fail "files outside /usr"
! grep -qF -e "$BUILD" -e _CPack_Packages <<<"$files" || fail "build paths in the package"

depends=$(dpkg-deb --field "$deb" Depends)
echo "== Depends: $depends"
# Computed from the binaries: the C library, Qt and the engine with its helper process
# (without which no page loads), and the libraries of our own subsystems.
for dep in libc6 libqt6core6 libqt6widgets6 libqt6webenginecore6 libqt6webenginewidgets6 \
    libsqlite3-0 libxml2 libcanberra0 libxlsxwriter libpcre2-16-0 libphonenumber \
    libqt6webenginecore6-bin; do
    grep -qE "(^|, )$dep[0-9a-z.+-]*( \(|,|$)" <<<"$depends" || fail "Depends lacks $dep"
done
[ "$(dpkg-deb --field "$deb" Architecture)" = "$(dpkg --print-architecture)" ] ||
    fail "wrong architecture"

# The packaged program, unpacked anywhere, captures the packaged demo site.
dpkg-deb --extract "$deb" "$WORK/root"
run_batch "$WORK/root/usr" "$WORK/deb.csv" "$WORK/root/usr/share/trawlex/us_demo_directory.orp.json" \
    --progress none || fail "the packaged trawlex-batch: exit $?"
[ "$(csv_rows "$WORK/deb.csv")" -eq $DEMO_ROWS ] || fail "the packaged run: $(csv_rows "$WORK/deb.csv") rows"
echo "package built, listed and run: OK"
