#!/usr/bin/env bash
# Trawlex developer entry point.
#   ./dev.sh run    install what is missing, build, start Trawlex on its program folder
#   ./dev.sh test   install what is missing, build, run the whole test suite
#   ./dev.sh tidy   install what is missing, build, run clang-tidy on our code
#   ./dev.sh deb    install what is missing, build, make the Debian package in build/package
# Run as root or as a user allowed to use sudo (only package installation needs it).
set -euo pipefail
cd "$(dirname "$0")"

# Every Debian 12 package the build, the program and the tests need.
PACKAGES=(
    cmake ninja-build g++ pkg-config                 # toolchain
    qt6-base-dev qt6-webengine-dev                   # Qt Widgets, Qt WebEngine
    libqt6webenginecore6-bin                         # the engine's helper process
    libgl-dev                                        # Qt's CMake files look for OpenGL
    libxml2-dev                                      # document snapshots for templates
    libxlsxwriter-dev zlib1g-dev                     # .xlsx export; zlib reads it back
    libpcre2-dev                                     # declarative templates: bounded patterns
    libphonenumber-dev                               # declarative templates: telephone numbers
    libcanberra-dev                                  # event sounds
    libsqlite3-dev                                   # the crash-safe capture journal
    libgtest-dev libgmock-dev libbenchmark-dev       # tests and benchmarks
    python3 python3-xlrd                             # independent CSV and .xls readers
    python3-openpyxl                                 # independent .xlsx reader
    xvfb xauth fonts-dejavu-core                     # a real window without a display
    at-spi2-core dbus dbus-x11 python3-pyatspi       # accessibility checks
    clang-tidy                                       # bug-prone and slow constructs (.clang-tidy)
    parallel                                         # trawlex-batch: the README's parallel runs, tested
    clang libclang-rt-14-dev                         # libFuzzer and its sanitizers (fuzz/run.sh)
    dpkg-dev                                         # the .deb: dpkg-shlibdeps computes its dependencies
    desktop-file-utils appstream                     # the installed menu entry and AppStream file, validated
    man-db                                           # the installed manual pages, checked for warnings
)

BUILD=${TRAWLEX_BUILD_DIR:-build}
ASAN_BUILD=${TRAWLEX_ASAN_BUILD_DIR:-build-asan}
JOBS=${TRAWLEX_JOBS:-$(nproc)}

install_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build() {
    # /usr: the prefix of the Debian package, which the manual pages and units name.
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=${TRAWLEX_BUILD_TYPE:-Release} -DTRAWLEX_GUI=ON \
        -DCMAKE_INSTALL_PREFIX=/usr
    cmake --build "$BUILD" -j "$JOBS"
}

run() {
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No display: starting Trawlex in a virtual one (xvfb-run)."
        exec xvfb-run -a -s "-screen 0 1400x900x24" "$BUILD/bin/trawlex" "$@"
    fi
    [ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
    exec "$BUILD/bin/trawlex" "$@"
}

run_tests() {
    # The whole suite: pure units, offscreen window tests, real-engine tests, the
    # accessibility check of the real window, and the installed program and its package.
    (
        export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
        export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --disable-background-networking --disable-component-update --no-first-run --proxy-server=127.0.0.1:9"
        ctest --test-dir "$BUILD" --output-on-failure -j "$JOBS" --timeout 600
    )
    # The pure units once more under the address and undefined-behaviour sanitizers.
    cmake -S . -B "$ASAN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE= -DTRAWLEX_GUI=OFF \
        -DTRAWLEX_SANITIZE=ON -DTRAWLEX_BENCH=OFF
    cmake --build "$ASAN_BUILD" -j "$JOBS"
    ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
        ctest --test-dir "$ASAN_BUILD" --output-on-failure -j "$JOBS" --timeout 600
}

tidy() {
    # Our sources only: not the generated files of the build, not the test fixtures'
    # deliberately broken templates.
    run-clang-tidy -quiet -p "$BUILD" -j "$JOBS" \
        '^(?!.*/(build[^/]*|tests/fixtures)/).*/(app|batch|browser|capture|export|lingo|platform|plugins|support|templates|tests)/.*\.cpp$'
}

deb() {
    # From the finished build: cpack installs it into the package, nothing is compiled.
    rm -f "$BUILD"/package/trawlex_*.deb
    (cd "$BUILD" && cpack -G DEB -B package)
    local deb
    for deb in "$BUILD"/package/trawlex_*.deb; do
        dpkg-deb --field "$deb" Package Version Architecture Depends
        echo "Install it with: sudo apt-get install ./$deb"
    done
}

case "${1:-}" in
    run) shift; install_packages; build; run "$@" ;;
    test) install_packages; build; run_tests ;;
    tidy) install_packages; build; tidy ;;
    deb) install_packages; build; deb ;;
    *) echo "usage: $0 run|test|tidy|deb" >&2; exit 2 ;;
esac
