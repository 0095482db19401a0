#!/usr/bin/env bash
# The installed window, as a user starts it: installed into a temporary prefix, started
# with the bundled demo template's bare name (found in the installed program folder), and
# driven through the accessibility interface over a whole capture of the demo site.
set -euo pipefail
BUILD=$1
CHECK=$2
source "$(dirname "$0")/common.sh"

cmake --install "$BUILD" --prefix "$WORK/first" >/dev/null
mv "$WORK/first" "$WORK/moved"
[ ! -e "$WORK/moved/bin/us_demo_directory.orp" ] || fail "the template must not lie beside the program"
unset QT_QPA_PLATFORM
dbus-run-session -- xvfb-run -a -s "-screen 0 1400x900x24" \
    /usr/bin/python3 "$CHECK" "$WORK/moved/bin/trawlex"
