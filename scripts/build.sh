#!/usr/bin/env bash
# Configures and builds into build/ (or build-sanitize/ with --sanitize).
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
    dir=build-sanitize
    options=(-DCMAKE_BUILD_TYPE=Debug -DMDX_SANITIZE=ON -DMDX_BUILD_BENCH=OFF)
    shift
fi
cmake -S . -B "$dir" "${options[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)" "$@"
