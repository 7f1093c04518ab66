#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang, under AddressSanitizer and
# UndefinedBehaviorSanitizer, into build-fuzz/, then:
#
#   scripts/fuzz.sh --regress                 every seed of tests/fuzz/corpus once through its
#                                             target (what CI runs; seconds)
#   scripts/fuzz.sh --time SECONDS TARGET     fuzzes TARGET (connectionstring, schemafile,
#                                             xmlareader, statementreader or httpresponse) for
#                                             SECONDS
#
# Fuzzing adds what it finds new to build-fuzz/corpus/TARGET (the seeds stay untouched) and
# writes an input that fails to build-fuzz/findings/; a finding, once fixed, becomes a seed.
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(connectionstring schemafile xmlareader statementreader httpresponse)
usage() {
    echo "usage: $0 --regress | --time SECONDS connectionstring|schemafile|xmlareader|statementreader|httpresponse" >&2
    exit 2
}
case "${1:-}" in
--regress) ;;
--time) [[ "${2:-}" =~ ^[0-9]+$ && " ${targets[*]} " == *" ${3:-} "* ]] || usage ;;
*) usage ;;
esac

bash scripts/install-deps.sh
dir=build-fuzz
cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMDX_FUZZ=ON -DMDX_BUILD_TESTS=OFF -DMDX_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
if [ "$1" = --regress ]; then
    ctest --test-dir "$dir" --output-on-failure --no-tests=error -L fuzz -j"$(nproc)"
else
    mkdir -p "$dir/corpus/$3" "$dir/findings"
    "$dir/tests/fuzz/fuzz_$3" -max_total_time="$2" -print_final_stats=1 \
        -artifact_prefix="$dir/findings/$3-" "$dir/corpus/$3" "tests/fuzz/corpus/$3"
fi
