#!/usr/bin/env bash
# Builds from scratch and runs every test suite twice: a normal build with
# g++, and an AddressSanitizer + UndefinedBehaviorSanitizer build with clang
# (which also builds the libFuzzer targets).  Ends with one summary line.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
need_packages test
need_test_locale
need_js_packages
# Everything the tests use must come from the packages above, not from
# whatever else this machine happens to have.
export MORVEX_TEST_PACKAGES MORVEX_TEST_USES
/usr/bin/python3 scripts/check_test_deps.py

jobs=$(nproc)
results=()

run_suite() {
    local name=$1 dir=$2
    shift 2
    echo "== $name: configuring and building ($dir)"
    rm -rf "$dir"
    cmake -S . -B "$dir" -G Ninja -DMORVEX_WERROR=ON "$@" >/dev/null
    ninja -C "$dir"
    echo "== $name: running the tests"
    local log="$dir/ctest.log"
    if ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 900 2>&1 | tee "$log"; then
        results+=("$name: $(grep -E 'tests passed' "$log" | tail -1)")
    else
        results+=("$name: $(grep -E 'tests passed' "$log" | tail -1)")
        failed=1
    fi
}

failed=0
run_suite "normal build (g++)" build/test-normal \
    -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEX_BUILD_BENCHMARKS=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite "sanitizer build (clang, ASan+UBSan)" build/test-sanitize \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEX_SANITIZE=ON -DMORVEX_BUILD_FUZZERS=ON

echo "== summary"
for r in "${results[@]}"; do echo "   $r"; done
if [ "$failed" -ne 0 ]; then
    echo "TESTS FAILED"
    exit 1
fi
echo "ALL TESTS PASSED"
