#!/bin/sh
# Records of a 1,000-listing page, side by side in one run: Trawlex's declarative template
# (from the engine's page: bench_browser_ui; and, for the parts, from markup and from a
# parsed snapshot: bench_plugins) and Playwright driving Debian's Chromium with
# querySelectorAll on the same page. Both sides time "page loaded" to "record text ready".
# The Playwright half is skipped, with a note, when playwright-core or Chromium is absent.
#
#   bench/compare_records.sh [BUILD_DIR]      (default: build)
#   PLAYWRIGHT_CORE_DIR=/tmp/pw bench/compare_records.sh    after
#   npm install --prefix /tmp/pw playwright-core
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
page=$work/listings.html

# The same headless engine settings for both browsers.
flags="--disable-gpu --disable-background-networking --disable-component-update --no-first-run --proxy-server=127.0.0.1:9"

echo "== Trawlex: declarative template, five columns, one with a pattern (parts)"
TRAWLEX_BENCH_PAGE=$page "$build/bench/bench_plugins" \
    --benchmark_filter='BM_DeclarativeRecords' --benchmark_min_time=1

echo "== Trawlex: the same, from the engine's loaded page"
if [ -x "$build/bench/bench_browser_ui" ]; then
    QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS="$flags" \
        "$build/bench/bench_browser_ui"
else
    echo "skipped: bench_browser_ui is not built (a build with TRAWLEX_GUI=ON makes it)"
fi

echo "== Playwright: the same page"
if [ ! -s "$page" ]; then
    echo "skipped: bench_plugins wrote no page"
    exit 1
fi
if ! NODE_PATH=${PLAYWRIGHT_CORE_DIR:+$PLAYWRIGHT_CORE_DIR/node_modules} \
        node -e "require.resolve('playwright-core')" >/dev/null 2>&1; then
    echo "skipped: playwright-core is not installed (npm install --prefix DIR playwright-core,"
    echo "then run with PLAYWRIGHT_CORE_DIR=DIR)"
    exit 0
fi
if [ ! -x "${CHROMIUM:-/usr/bin/chromium}" ]; then
    echo "skipped: no Chromium at ${CHROMIUM:-/usr/bin/chromium}"
    exit 0
fi
node "$here/playwright/records.cjs" "$page" 20
