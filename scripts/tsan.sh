#!/usr/bin/env bash
# Builds the tests that run the library on several threads at once
# (tests/threads/: the job runner, page analysis on several threads, and
# every report road compared on 1, 2, 3 and 8 threads) with clang's
# ThreadSanitizer, and runs them.  Any data race report fails the run.
#
#   scripts/tsan.sh            build in build/tsan and run every thread test
#   scripts/tsan.sh FILTER     run only the tests that match a gtest filter
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build/tsan
flags="-fsanitize=thread -fno-omit-frame-pointer -g"
cmake -S . -B "$dir" -G Ninja -DMORVEX_WERROR=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
ninja -C "$dir" thread_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
"$dir/tests/thread_tests" --gtest_filter="${1:-*}"
echo "ThreadSanitizer: no data race reported"
