#!/usr/bin/env bash
# Builds the Windows x64 version on a Debian 12 machine with MinGW-w64.
#
# Qt for Windows is built once from Debian's own qt6-base source and kept in a
# cache outside the repository:
#   ${VELKOR_CACHE:-$HOME/.cache/velkor}/qt-6.4.2-mingw   the install tree
#   .../work/qt-6.4.2-mingw                             sources and build folders
#   .../logs/qt-6.4.2-mingw                             what each step printed
# A tree whose stamp names the features it is configured with below is
# complete and is used as it is; delete the tree to build it again.
# VELKOR_JOBS sets the build's parallelism (default 2).
#
# Then the program and its tests are built for Windows in
# ${VELKOR_WINDOWS_BUILD:-build-windows}, and its dist/ gets
#   velkor-<version>-setup-x64.exe      the installer (per user, no administrator)
#   velkor-<version>-portable-x64.zip   the program folder, data kept beside it
#
# With the argument "packages" it only installs the Debian packages it needs.
set -Eeuo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
repo=$PWD

cache=${VELKOR_CACHE:-$HOME/.cache/velkor}
jobs=${VELKOR_JOBS:-2}
qt_version=6.4.2
qt_prefix=$cache/qt-$qt_version-mingw
qt_work=$cache/work/qt-$qt_version-mingw
qt_logs=$cache/logs/qt-$qt_version-mingw
qt_stamp=$qt_prefix/.velkor-complete
mingw_triplet=x86_64-w64-mingw32
win_build=${VELKOR_WINDOWS_BUILD:-$repo/build-windows}

current_step=""
step() {
    current_step=$*
    printf '\n==> %s\n' "$*"
}
on_error() {
    printf '\nwindows.sh failed during: %s\n' "${current_step:-setup}" >&2
}
trap on_error ERR

# Runs a command with its output in a log file, so the script's own output
# stays readable; on failure the log's end is shown.
run_logged() {
    local log=$qt_logs/$1.log
    shift
    mkdir -p "$qt_logs"
    if ! "$@" >"$log" 2>&1; then
        printf 'Command failed: %s\nLast lines of %s:\n' "$*" "$log" >&2
        tail -n 40 "$log" >&2
        return 1
    fi
}

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)

# apt-get source needs a deb-src entry, which a fresh Debian 12 lacks. One is
# added beside the distribution's own entries, only when none exists; success
# means it was added and the package lists need an update.
add_deb_src() {
    if grep -rqsE '^[[:space:]]*(Types:.*deb-src|deb-src[[:space:]])' \
        /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return 1
    fi
    local codename
    codename=$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release)
    echo "Adding deb-src entries for $codename"
    "${as_root[@]}" tee /etc/apt/sources.list.d/velkor-deb-src.sources >/dev/null <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: $codename-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
}

install_packages() {
    step "Packages for cross-compiling, running under Wine and packaging"
    # qt6-base-dev carries the host Qt's CMake packages, -dev-tools its moc,
    # rcc and uic: a cross build of Qt runs the host's tools. dpkg-dev unpacks
    # source packages; gcc, make and tcl make SQLite's amalgamation.
    local packages=(gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64 mingw-w64-tools
                    binutils-mingw-w64-x86-64 wine wine64 nsis msitools socat
                    qt6-base-dev qt6-base-dev-tools cmake ninja-build perl
                    dpkg-dev gcc make tcl xz-utils locales)
    local missing=() p update=0
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    add_deb_src && update=1
    if [ ${#missing[@]} -gt 0 ] || [ "$update" -eq 1 ]; then
        echo "Updating the package lists"
        "${as_root[@]}" apt-get update -qq
    fi
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq \
            --no-install-recommends "${missing[@]}" >/dev/null
    else
        echo "All installed"
    fi
    # Wine takes a Windows program's locale from the Linux one. The tests run
    # as on a Chinese bench PC (code page 936), and Wine gives file names in
    # UTF-8 only when that locale exists on Linux too.
    if ! locale -a | grep -qix 'zh_CN.utf8'; then
        echo "Generating the zh_CN.UTF-8 locale"
        "${as_root[@]}" sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
        "${as_root[@]}" locale-gen >/dev/null
    fi
}

# Unpacks a Debian source package into <folder>/src and sets fetched to the
# unpacked tree. A download that was cut short is done again.
fetched=""
fetch_source() {
    local name=$1 package=$2 folder=$3
    if [ ! -f "$folder/.unpacked" ]; then
        rm -rf "$folder"
        mkdir -p "$folder/src"
        echo "Downloading and unpacking the source of $package"
        run_logged "source-$name" env -C "$folder/src" apt-get source -q "$package"
        touch "$folder/.unpacked"
    fi
    fetched=$(find "$folder/src" -mindepth 1 -maxdepth 1 -type d)
}

# Debian's repacked qt6-base leaves out Qt's bundled SQLite, so the SQLite
# driver links a static MinGW build of Debian's own SQLite, made from the
# amalgamation that its source generates.
build_sqlite() {
    local src sqlite_build=$qt_work/sqlite-build
    step "SQLite for MinGW"
    fetch_source sqlite3 sqlite3 "$qt_work/sqlite"
    src=$fetched
    if [ ! -f "$sqlite_build/libsqlite3.a" ]; then
        rm -rf "$sqlite_build"
        mkdir -p "$sqlite_build"
        echo "Generating sqlite3.c from $(basename "$src")"
        run_logged sqlite-configure env -C "$sqlite_build" "$src/configure" --disable-tcl
        run_logged sqlite-amalgamation make -C "$sqlite_build" sqlite3.c
        echo "Compiling it with $mingw_triplet-gcc-posix"
        # The options Qt builds its own bundled SQLite with, so that the driver
        # behaves as in Qt's Windows releases.
        run_logged sqlite-compile "$mingw_triplet-gcc-posix" -O2 \
            -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_OMIT_LOAD_EXTENSION \
            -DSQLITE_OMIT_COMPLETE -DSQLITE_ENABLE_FTS3 \
            -DSQLITE_ENABLE_FTS3_PARENTHESIS -DSQLITE_ENABLE_FTS5 \
            -DSQLITE_ENABLE_RTREE \
            -c "$sqlite_build/sqlite3.c" -o "$sqlite_build/sqlite3.o"
        "$mingw_triplet-ar" rcs "$sqlite_build/libsqlite3.a" "$sqlite_build/sqlite3.o"
    fi
    mkdir -p "$qt_prefix/include" "$qt_prefix/lib"
    cp "$sqlite_build/sqlite3.h" "$qt_prefix/include/"
    cp "$sqlite_build/libsqlite3.a" "$qt_prefix/lib/"
    echo "Installed libsqlite3.a and sqlite3.h in $qt_prefix"
}

qt_required_files=(
    bin/qt-cmake lib/cmake/Qt6/Qt6Config.cmake
    bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6Network.dll
    bin/Qt6Sql.dll bin/Qt6Test.dll
    plugins/platforms/qwindows.dll plugins/sqldrivers/qsqlite.dll
)

# What the program uses is kept: Core, Gui, Widgets, Network, Sql with the
# SQLite driver, Test (its tests run under Wine) and the Windows and
# offscreen platform plugins. Some of the rest is left out to shorten the
# build: OpenSSL, TUIO touch, GIF and JPEG. Two cannot go in Qt 6.4: without
# Direct2D, Gui leaves out a font database the Windows plugin still uses,
# and without TLS the Schannel plugin fails to compile.
# The third-party libraries Windows lacks are Qt's bundled ones.
# Debian's source has no wintab.h, which tablet events need. OpenGL is
# turned off as configure's -no-opengl does, and dynamic OpenGL named too
# so that a build folder configured before keeps no cached value of it:
# FEATURE_opengl=OFF alone leaves dynamic OpenGL on, and the platform
# plugin then fails to compile.
# Regular expressions are matched without PCRE2's JIT. Qt keeps a JIT stack
# per thread in a thread_local, and MinGW's runtime frees thread_local storage
# before it runs the destructors at a thread's end: a thread that matched a
# pattern (the record worker recovering journals) then crashes as it ends
# while another thread allocates. Interpreted matching never makes that stack.
qt_features=(
    -DQT_EXTRA_DEFINES=PCRE2_DISABLE_JIT
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DINPUT_opengl=no -DFEATURE_opengl_dynamic=OFF -DFEATURE_dynamicgl=OFF
    -DFEATURE_vulkan=OFF -DFEATURE_dbus=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_openssl=OFF
    -DFEATURE_tuiotouch=OFF
    -DFEATURE_gif=OFF -DFEATURE_jpeg=OFF
    -DFEATURE_testlib=ON
    -DFEATURE_tabletevent=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF
    -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
    -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON
    -DSQLite3_INCLUDE_DIR="$qt_prefix/include"
    -DSQLite3_LIBRARY="$qt_prefix/lib/libsqlite3.a"
    -DFEATURE_sql_odbc=OFF -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF
    -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF
)
# The stamp of a complete tree names the features it was built with; a tree
# built with others is built again.
qt_configuration=$(printf '%s\n' "${qt_features[@]}" | sha256sum | cut -c1-16)

build_qt() {
    if [ -f "$qt_stamp" ] && grep -qw "$qt_configuration" "$qt_stamp"; then
        step "Qt $qt_version for MinGW"
        echo "Using the complete tree in $qt_prefix (built $(cut -d' ' -f1-3 "$qt_stamp"))"
        return
    fi
    if [ -f "$qt_stamp" ]; then
        echo "The tree in $qt_prefix was built with other features; building it again"
    fi
    local started=$SECONDS src qt_build=$qt_work/qt-build host_version host_cmake
    # A tree without its stamp is what an interrupted build left behind.
    rm -rf "$qt_prefix"

    # The host's tools run during the build, so the source is the version of
    # the installed host Qt.
    host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
    case $host_version in
        "$qt_version"+*) ;;
        *) echo "The host Qt is $host_version, not $qt_version" >&2; return 1 ;;
    esac
    host_cmake=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake

    build_sqlite

    step "Qt $qt_version source ($host_version)"
    fetch_source qt6-base "qt6-base=$host_version" "$qt_work/qt6-base"
    src=$fetched
    echo "Unpacked in $src"

    # Qt's generated toolchain file chains to the one Qt was configured with,
    # so a copy inside the tree keeps the tree usable without this checkout.
    local toolchain=$qt_prefix/lib/cmake/$mingw_triplet.toolchain.cmake
    mkdir -p "$qt_prefix/lib/cmake"
    cp "$repo/scripts/windows/mingw-w64-x86_64.cmake" "$toolchain"

    step "Configuring Qt in $qt_build"
    # A build folder keeps in its cache the features it was configured with,
    # even those no longer named; one configured with others starts afresh.
    if [ "$(cat "$qt_build/.velkor-features" 2>/dev/null)" != "$qt_configuration" ]; then
        rm -rf "$qt_build"
    fi
    mkdir -p "$qt_build"
    echo "$qt_configuration" >"$qt_build/.velkor-features"
    run_logged qt-configure cmake -S "$src" -B "$qt_build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release \
        -DBUILD_SHARED_LIBS=ON \
        -DCMAKE_INSTALL_PREFIX="$qt_prefix" \
        -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" \
        "${qt_features[@]}"
    echo "Configured; the feature summary is in $qt_logs/qt-configure.log"

    step "Building Qt with $jobs jobs (progress in $qt_logs/qt-build.log)"
    run_logged qt-build cmake --build "$qt_build" --parallel "$jobs"

    step "Installing Qt in $qt_prefix"
    run_logged qt-install cmake --install "$qt_build"

    local f missing=()
    for f in "${qt_required_files[@]}"; do
        [ -e "$qt_prefix/$f" ] || missing+=("$f")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "The installed tree lacks: ${missing[*]}" >&2
        return 1
    fi
    echo "$(date -u '+%Y-%m-%d %H:%M UTC') $qt_configuration" >"$qt_stamp"
    rm -rf "$qt_work"
    echo "Qt $qt_version for MinGW is complete in $qt_prefix" \
        "($(( (SECONDS - started) / 60 )) min; work folders removed, logs kept in $qt_logs)"
}

build_program() {
    step "The program and its tests for Windows in $win_build"
    # Tests run under Wine through CTest's emulator (scripts/test-windows.sh).
    "$qt_prefix/bin/qt-cmake" -S "$repo" -B "$win_build" -G Ninja \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$repo/scripts/windows/wine-run;$qt_prefix" \
        >/dev/null
    cmake --build "$win_build" --parallel "$jobs"
}

package_program() {
    local version stage=$win_build/stage dist=$win_build/dist uninstaller
    step "The portable zip and the installer in $dist"
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win_build/CMakeCache.txt")
    uninstaller=$(sed -n 's/^VELKOR_UNINSTALLER:INTERNAL=//p' "$win_build/CMakeCache.txt")
    rm -rf "$stage" "$dist"
    mkdir -p "$dist"
    cmake --install "$win_build" --prefix "$stage/Velkor" --strip >/dev/null
    (cd "$stage" && python3 -m zipfile -c "$dist/velkor-$version-portable-x64.zip" Velkor)
    makensis -V2 -DVERSION="$version" -DSTAGE="$stage/Velkor" \
        -DOUTFILE="$dist/velkor-$version-setup-x64.exe" \
        -DUNINSTALLER="$uninstaller" "$repo/packaging/windows/velkor.nsi"
    ls -l "$dist"
}

main() {
    install_packages
    # "packages" stops here, so that CI can install everything before its
    # Linux suite and build the rest meanwhile.
    [ "${1:-}" = packages ] && return
    build_qt
    build_program
    package_program
}

main "$@"
