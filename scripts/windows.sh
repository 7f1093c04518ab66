#!/usr/bin/env bash
# Builds the wizard for 64-bit Windows on Debian, from Debian's packages only, tests it under
# Wine and packs it:
#   1. Qt and libxml2 for Windows, built from Debian's own source packages with MinGW-w64,
#      once: they are kept in a cache folder outside the clone ($MDX_WINDOWS_CACHE, by default
#      ~/.cache/mdx-wizard-windows), keyed by their versions and the options below;
#   2. the wizard and its tests for Windows, in build-windows/;
#   3. every test under Wine (the tests against the OLAP server too: it runs here, on Linux);
#   4. build-windows/packages/mdx-wizard-<version>-windows-x64.zip and
#      mdx-wizard-<version>-setup.exe.
# Options: --qt-only stops after step 1 (Qt and libxml2); --no-tests skips step 3.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

qt_only=false
run_tests=true
for arg in "$@"; do
    case "$arg" in
    --qt-only) qt_only=true ;;
    --no-tests) run_tests=false ;;
    *)
        echo "usage: $0 [--qt-only] [--no-tests]" >&2
        exit 2
        ;;
    esac
done

bash scripts/install-deps.sh --windows
jobs=$(nproc)

# --- 1. Qt and libxml2 for Windows -------------------------------------------------------
# The host's Qt (moc, rcc, uic) serves the cross build, so the two must be the same version.
qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
qt_options=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    # What the wizard uses: Core, Gui, Widgets, Network and Test.
    -DFEATURE_sql=OFF -DFEATURE_xml=OFF -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF
    -DFEATURE_printsupport=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF
    # TLS through Windows' own Schannel.
    -DFEATURE_schannel=ON -DFEATURE_openssl=OFF -DINPUT_openssl=no
    # Qt's bundled third-party code: Debian has no MinGW builds of these.
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
    -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_pkg_config=OFF
    # Debian's source leaves out the tablet library Qt bundles for Windows.
    -DFEATURE_tabletevent=OFF
)
host_paths=(-DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)
toolchain=$root/cmake/mingw-w64.cmake
cache=${MDX_WINDOWS_CACHE:-$HOME/.cache/mdx-wizard-windows}

# cache_prefix NAME VERSION OPTION...: the cache folder of a cross build, keyed by the version,
# the options and the toolchain file, so that a change to any of them builds afresh.
cache_prefix() {
    local name=$1 version=$2
    shift 2
    echo "$cache/$name-${version%%+*}-$( (echo "$version" "$@" && cat "$toolchain") | sha256sum | cut -c1-12)"
}
qt=$(cache_prefix qt "$qt_version" "${qt_options[@]}")

# Adds a source entry for the archive the machine already uses, so apt-get source finds
# Debian's source packages; nothing is added when one is there.
add_source_entry() {
    apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -qx 'Sources' && return
    local uris list=/etc/apt/sources.list.d/mdx-wizard-source.sources
    uris=$(grep -hm1 '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -1 | cut -d' ' -f2)
    [ -n "$uris" ] || uris=$(grep -hm1 '^deb http' /etc/apt/sources.list | cut -d' ' -f2)
    [ -n "$uris" ] || uris=http://deb.debian.org/debian
    printf 'Types: deb-src\nURIs: %s\nSuites: bookworm\nComponents: main\n%s\n' "$uris" \
        'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' >"$list"
    apt-get update -q
}

# cross_build PACKAGE VERSION PREFIX CMAKE-OPTION...: builds and installs Debian's source of
# PACKAGE for Windows into PREFIX, unless it is there already.
cross_build() {
    local package=$1 version=$2 prefix=$3 work=$cache/work source start=$SECONDS
    shift 3
    [ -e "$prefix/.complete" ] && return
    echo "Building $package $version for Windows into $prefix (once)"
    rm -rf "$work" "$prefix"
    mkdir -p "$work"
    add_source_entry
    (cd "$work" && apt-get source -q "$package=$version" >/dev/null 2>&1)
    source=$(find "$work" -maxdepth 1 -type d -name "$package-*" | head -1)
    cmake -S "$source" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >"$work/configure.log"
    nice cmake --build "$work/build" -j"$jobs" >"$work/build.log"
    cmake --install "$work/build" >/dev/null
    touch "$prefix/.complete"
    rm -rf "$work" # the build tree is not needed again (Qt's is over a gigabyte)
    echo "$package for Windows built in $((SECONDS - start)) s"
}

cross_build qt6-base "$qt_version" "$qt" "${host_paths[@]}" "${qt_options[@]}"

# libxml2, whose push parser reads the answers: static, only what the reader uses.
xml_version=$(dpkg-query -W -f='${Version}' libxml2-dev)
xml_options=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DLIBXML2_WITH_ICONV=OFF
    -DLIBXML2_WITH_LZMA=OFF -DLIBXML2_WITH_ZLIB=OFF -DLIBXML2_WITH_PYTHON=OFF
    -DLIBXML2_WITH_PROGRAMS=OFF -DLIBXML2_WITH_TESTS=OFF -DLIBXML2_WITH_HTTP=OFF
    -DLIBXML2_WITH_FTP=OFF -DLIBXML2_WITH_MODULES=OFF
)
xml=$(cache_prefix libxml2 "$xml_version" "${xml_options[@]}")
cross_build libxml2 "$xml_version" "$xml" "${xml_options[@]}"
$qt_only && exit 0

# --- 2. The wizard for Windows ------------------------------------------------------------
mingw_runtime=(
    /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libstdc++-6.dll
    /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libgcc_s_seh-1.dll
    /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll
)
# The Qt plugins the program loads: the Windows platform and style, TLS through Schannel
# (and the certificate-only fallback), the icon format. The tests add the offscreen platform.
plugins=(platforms/qwindows styles/qwindowsvistastyle tls/qschannelbackend
    tls/qcertonlybackend imageformats/qico)

# configure DIR TESTS(ON|OFF): the build folder of the program (and of its tests).
configure() {
    cmake -S . -B "$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_PREFIX_PATH="$qt;$xml" -DCMAKE_FIND_ROOT_PATH="$qt;$xml" "${host_paths[@]}" \
        -DLIBXML2_INCLUDE_DIR="$xml/include/libxml2" -DLIBXML2_LIBRARY="$xml/lib/libxml2.a" \
        -DMDX_BUILD_TESTS="$2" -DMDX_BUILD_BENCH=OFF >/dev/null
    nice cmake --build "$1" -j"$jobs"
}

# deploy BIN [PLUGIN...]: what the programs in BIN need beside them, for Windows has no RPATH.
deploy() {
    local bin=$1 plugin
    shift
    cp -u "$qt"/bin/Qt6{Core,Gui,Widgets,Network}.dll "${mingw_runtime[@]}" "$bin/"
    for plugin in "$@"; do
        mkdir -p "$bin/$(dirname "$plugin")"
        cp -u "$qt/plugins/$plugin.dll" "$bin/$plugin.dll"
    done
}

# A Wine prefix of our own, kept with Qt: making one takes a while and 700 MB. Wine asks for
# neither its .NET nor its browser engine.
# Whatever happens, no Wine process outlives the script.
use_wine() {
    export WINEPREFIX=$cache/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    [ -e "$WINEPREFIX/system.reg" ] || { wineboot --init && wineserver -w; } >/dev/null 2>&1
    trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
}

# --- 3. The tests under Wine --------------------------------------------------------------
if $run_tests; then
    configure build-windows ON
    deploy build-windows/bin "${plugins[@]}" platforms/qoffscreen
    cp -u "$qt/bin/Qt6Test.dll" build-windows/bin/
    use_wine
    ctest --test-dir build-windows --output-on-failure --no-tests=error -j"$jobs"
fi

# --- 4. The zip and the installer ---------------------------------------------------------
# Built without the tests, so the program carries no test hook, as the Linux packages.
configure build-windows-release OFF
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-windows-release/CMakeCache.txt)
name=mdx-wizard-$version
packages=$root/build-windows/packages
stage=$packages/$name-windows-x64
rm -rf "$packages"
mkdir -p "$stage"
cp build-windows-release/bin/mdx-wizard.exe app/windows/mdx-wizard.ico "$stage/"
deploy "$stage" "${plugins[@]}"
x86_64-w64-mingw32-strip "$stage"/*.dll "$stage"/*/*.dll "$stage/mdx-wizard.exe"
(cd "$packages" && zip -qr "$name-windows-x64.zip" "$(basename "$stage")")

# The installer names every file it puts down, so its uninstaller removes only those.
windows_path() { local path=${1#.}; printf '%s' "${path//\//\\}"; }
(
    cd "$stage"
    find . -type d | sort | while read -r dir; do
        printf 'SetOutPath "$INSTDIR%s"\n' "$(windows_path "$dir")"
        find "$dir" -maxdepth 1 -type f | sort | while read -r file; do
            printf 'File "%s"\n' "$stage/${file#./}"
        done
    done >"$packages/install.nsh"
    find . -type f | sort | while read -r file; do
        printf 'Delete "$INSTDIR%s"\n' "$(windows_path "$file")"
    done >"$packages/uninstall.nsh"
    find . -mindepth 1 -type d | sort -r | while read -r dir; do
        printf 'RMDir "$INSTDIR%s"\n' "$(windows_path "$dir")"
    done >>"$packages/uninstall.nsh"
)
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$packages/$name-setup.exe" \
    -DFILES="$packages/install.nsh" -DREMOVE="$packages/uninstall.nsh" \
    app/windows/mdx-wizard.nsi

# The installer checked under Wine: silently installed, the program answers from Program Files
# through a pipe, the Start-menu entry is there; silently uninstalled, nothing is left.
use_wine
programs="$WINEPREFIX/drive_c/Program Files/MDX Wizard"
entry="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/MDX Wizard.lnk"
wine "$packages/$name-setup.exe" /S 2>/dev/null
wineserver -w
answer=$(wine "$programs/mdx-wizard.exe" --version 2>/dev/null)
[ "$answer" = "mdx-wizard $version" ] || { echo "installed program answered: $answer" >&2; exit 1; }
[ -e "$entry" ] || { echo "no Start-menu entry" >&2; exit 1; }
wine "$programs/uninstall.exe" /S 2>/dev/null
wineserver -w
if [ -e "$programs" ] || [ -e "$entry" ]; then
    echo "the uninstaller left files behind" >&2
    exit 1
fi
ls -l "$packages"/*.zip "$packages"/*.exe
