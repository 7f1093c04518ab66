#!/usr/bin/env bash
# Installs from Debian's packages what is missing for:
#   install-deps.sh            building and running the wizard
#   install-deps.sh --package  the same, and building and checking its Debian packages
#   install-deps.sh --test     all of that, and what the tests need (the OLAP test server)
#   install-deps.sh --windows  all of that, and what the Windows build needs: MinGW-w64, Wine,
#                              NSIS, and Qt's own source package to build Qt for Windows from
# Does nothing when everything is there already.
set -euo pipefail

# The compiler and Qt; a font with the metrics the window was laid out for; the certificate
# authorities for XML for Analysis servers behind https; libxml2, whose push parser reads the
# servers' answers, and zlib, which decodes the compressed ones.
packages=(cmake g++ make qt6-base-dev libxml2-dev zlib1g-dev fonts-liberation2 ca-certificates)
packaging=(dpkg-dev file lintian desktop-file-utils appstream)
testing=(
    libbenchmark-dev
    # the fuzz targets (scripts/fuzz.sh): clang with libFuzzer and the sanitizers' runtimes
    clang libclang-rt-14-dev
    # the OLAP server the integration tests run against
    default-jre-headless openjdk-17-jdk-headless curl
    libmondrian-java libolap4j-java libjetty9-java libservlet-api-java libhsqldb-java
    libslf4j-java libcommons-collections3-java libcommons-io-java libcommons-logging-java
    libcommons-pool-java
)
windows=(
    g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 nsis zip ninja-build perl
    # Qt's source comes from Debian's own package; unpacking it needs dpkg-source
    dpkg-dev xz-utils
)
# Only what is named: Qt's recommendations alone would add a desktop toolkit. The tests keep
# the recommendations their machines were set up with.
options=(--no-install-recommends)
case "${1:-}" in
"") ;;
--package) packages+=("${packaging[@]}") ;;
--test)
    packages+=("${packaging[@]}" "${testing[@]}")
    options=()
    ;;
--windows)
    packages+=("${packaging[@]}" "${testing[@]}" "${windows[@]}")
    options=()
    ;;
*)
    echo "usage: $0 [--package | --test | --windows]" >&2
    exit 2
    ;;
esac

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}; run this script as root (or with sudo)." >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q "${options[@]}" "${missing[@]}"
