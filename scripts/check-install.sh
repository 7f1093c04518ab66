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

# The host connects to the embedded sample (exit 2 if it cannot), loads the first cube and
# closes before anything is chosen: the statement box is still empty then.
output=$(QT_QPA_PLATFORM=offscreen "$prefix/build/mdx-host" --close)
if [ -n "$output" ]; then
    echo "example host printed '$output' where nothing was chosen" >&2
    exit 1
fi
echo "example host: built against the installed package, connected and closed"
