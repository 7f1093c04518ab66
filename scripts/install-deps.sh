#!/usr/bin/env bash
# Installs what building, running and testing the wizard needs, from Debian's packages.
# Does nothing when everything is there already.
set -euo pipefail

packages=(
    # build
    cmake g++ make qt6-base-dev libbenchmark-dev
    # the fuzz targets (scripts/fuzz.sh): clang with libFuzzer and the sanitizers' runtimes
    clang libclang-rt-14-dev
    # a font with the metrics the window was laid out for; a virtual display for headless use
    fonts-liberation2 xvfb xauth
    # the OLAP server the integration tests run against
    default-jre-headless openjdk-17-jdk-headless curl
    libmondrian-java libolap4j-java libjetty9-java libservlet-api-java libhsqldb-java
    libslf4j-java libcommons-collections3-java libcommons-io-java libcommons-logging-java
    libcommons-pool-java
)

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
apt-get install -y -q "${missing[@]}"
