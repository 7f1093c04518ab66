#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
# With --sanitize: the same under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --test
dir=build
[ "${1:-}" = "--sanitize" ] && dir=build-sanitize
bash scripts/build.sh "$@"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$dir" --output-on-failure --no-tests=error -j"$(nproc)"
