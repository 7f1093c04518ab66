#!/usr/bin/env bash
# Installs the built package into a scratch prefix, builds the example host against it and
# runs the host once: proves that the package is complete and usable from outside.
set -euo pipefail
cd "$(dirname "$0")/.."

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build --prefix "$prefix/usr" >/dev/null
cmake -S examples/host -B "$prefix/build" -DCMAKE_PREFIX_PATH="$prefix/usr" >/dev/null
cmake --build "$prefix/build" -j"$(nproc)" >/dev/null

statement=$(QT_QPA_PLATFORM=offscreen "$prefix/build/mdx-host" --close)
case "$statement" in
    "select "*"from Budget") echo "example host: $statement" ;;
    *) echo "example host printed an unexpected statement: '$statement'" >&2; exit 1 ;;
esac
