#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves the prefix, and checks what a user of
# the installed program meets: the layout, a capture of the demo site by the installed
# trawlex-batch that writes nothing below share/, the desktop entry, the AppStream file,
# the file type, the icons and the manual pages.
set -euo pipefail
BUILD=$1
source "$(dirname "$0")/common.sh"

cmake --install "$BUILD" --prefix "$WORK/first" >/dev/null
# Moved after installation: the program must find its files from its own location.
mv "$WORK/first" "$WORK/moved"
P=$WORK/moved
DATA=$P/share/trawlex
APP=example.trawlex.Trawlex

for f in bin/trawlex bin/trawlex-batch \
    share/trawlex/index.tpl.html share/trawlex/index.png share/trawlex/INTL/trawlex.ini \
    share/trawlex/us_demo_directory.orp share/trawlex/us_demo_directory.orp.json \
    share/trawlex/demo/index.html share/trawlex/demo/results-1.html \
    share/applications/$APP.desktop share/metainfo/$APP.metainfo.xml \
    share/mime/packages/$APP.xml share/icons/hicolor/scalable/apps/$APP.svg \
    share/man/man1/trawlex.1.gz share/man/man1/trawlex-batch.1.gz \
    lib/systemd/system/trawlex-batch@.service lib/systemd/system/trawlex-batch@.timer \
    share/doc/trawlex/examples/example.conf; do
    [ -f "$P/$f" ] || fail "not installed: $f"
done
[ -n "$(ls "$DATA/flags")" ] || fail "no flags installed"
for exe in trawlex trawlex-batch; do
    [ -x "$P/bin/$exe" ] || fail "$exe is not executable"
    ! LC_ALL=C ldd "$P/bin/$exe" | grep -q "not found" || fail "$exe: a library is missing"
    ! readelf -d "$P/bin/$exe" | grep -E "R(UN)?PATH" | grep -qF "$BUILD" ||
        fail "$exe still looks for libraries in the build folder"
done
# Nothing of the build or of the tests comes along.
! find "$P" -name '*.a' -o -name 'unit_*' -o -name 'e2e_*' | grep -q . || fail "build leftovers installed"

# Each hicolor PNG is as large as its folder says.
for png in "$P"/share/icons/hicolor/*x*/apps/$APP.png; do
    dir=$(basename "$(dirname "$(dirname "$png")")")
    got=$(python3 -c 'import struct, sys; d = open(sys.argv[1], "rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]))' "$png")
    [ "$got" = "$dir" ] || fail "$png is $got"
done
[ "$(ls "$P"/share/icons/hicolor/*x*/apps/$APP.png | wc -l)" -ge 5 ] || fail "too few icon sizes"

snapshot() { (cd "$DATA" && find . -printf '%p %s %T@\n' | sort); }
before=$(snapshot)

# The installed demo template over the installed demo site, from its home page.
run_batch "$P" "$WORK/json.csv" "$DATA/us_demo_directory.orp.json" --progress none ||
    fail "the declarative demo template: exit $?"
[ "$(csv_rows "$WORK/json.csv")" -eq $DEMO_ROWS ] || fail "declarative: $(csv_rows "$WORK/json.csv") rows"
run_batch "$P" "$WORK/compiled.csv" "$DATA/us_demo_directory.orp" --progress none ||
    fail "the compiled demo template: exit $?"
cmp -s "$WORK/json.csv" "$WORK/compiled.csv" || fail "compiled and declarative templates differ"

# A copy of the template outside the program folder finds the home page in the installed
# program folder, not in the build it came from.
cp "$DATA/us_demo_directory.orp.json" "$WORK/elsewhere/mine.orp.json"
run_batch "$P" "$WORK/copy.csv" "$WORK/elsewhere/mine.orp.json" --progress json \
    2>"$WORK/progress.log" || fail "the copied template: exit $?"
grep -qF "\"url\":\"file://$DATA/demo/index.html\"" "$WORK/progress.log" ||
    fail "the copied template did not start at the installed demo site: $(cat "$WORK/progress.log")"
cmp -s "$WORK/json.csv" "$WORK/copy.csv" || fail "the copied template captured other rows"

[ "$(snapshot)" = "$before" ] || fail "a run wrote below $DATA"

desktop-file-validate "$P/share/applications/$APP.desktop"
appstreamcli validate --no-net "$P/share/metainfo/$APP.metainfo.xml"
! grep -rq '@[A-Z_]*@' "$P/share/metainfo" "$P/lib/systemd" "$P/share/doc/trawlex" ||
    fail "a placeholder was left unreplaced"
# The unit names the program where the configured prefix puts it (/usr for the package).
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$BUILD/CMakeCache.txt")
grep -q "^ExecStart=$prefix/bin/trawlex-batch " "$P/lib/systemd/system/trawlex-batch@.service" ||
    fail "the service does not start $prefix/bin/trawlex-batch"

# The file types: the shared MIME database compiles them, each pattern maps to its type,
# and the menu entry opens exactly the types defined.
mkdir -p "$WORK/mime/packages"
cp "$P/share/mime/packages/$APP.xml" "$WORK/mime/packages/"
update-mime-database "$WORK/mime" >/dev/null
grep -qx '50:application/x-trawlex-template:\*\.orp' "$WORK/mime/globs2" || fail "*.orp not mapped"
grep -qx '50:application/x-trawlex-template+json:\*\.orp\.json' "$WORK/mime/globs2" ||
    fail "*.orp.json not mapped"
defined=$(grep -o 'mime-type type="[^"]*"' "$P/share/mime/packages/$APP.xml" | cut -d'"' -f2 | sort)
opened=$(sed -n 's/^MimeType=//p' "$P/share/applications/$APP.desktop" | tr ';' '\n' | sed '/^$/d' | sort)
[ "$defined" = "$opened" ] || fail "the menu entry opens [$opened], the types are [$defined]"
grep -q '^Exec=trawlex %[fF]$' "$P/share/applications/$APP.desktop" || fail "Exec does not pass the file"

# The manual pages: no formatter warning, and every option and exit code of the program.
for page in trawlex trawlex-batch; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=100 man --warnings -l "$P/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page.1: $warnings"
    ! zgrep -q '@[A-Z_]*@' "$P/share/man/man1/$page.1.gz" || fail "$page.1: a placeholder was left"
done
manual=$(LC_ALL=C MANWIDTH=200 man -l "$P/share/man/man1/trawlex-batch.1.gz" 2>/dev/null | col -b)
help=$("$P/bin/trawlex-batch" --help)
for option in $(grep -oE -- '--[a-z][a-z-]*|(^|[ ,])-[a-z]\b' <<<"$help" | tr -d ' ,' | sort -u); do
    grep -qF -- "$option" <<<"$manual" || fail "trawlex-batch.1 does not describe $option"
done
codes=$(sed -n '/^Exit codes:/,$p' <<<"$help" | grep -oE '(^|[ ,(:])[0-9]+ [a-z]' | grep -oE '[0-9]+')
[ -n "$codes" ] || fail "no exit codes in --help"
exit_status=$(sed -n '/^EXIT STATUS/,/^[A-Z]/p' <<<"$manual")
for code in $codes; do
    grep -qE "^ +$code( |\$)" <<<"$exit_status" || fail "trawlex-batch.1 does not list exit code $code"
done
echo "installed, moved and run: OK"
