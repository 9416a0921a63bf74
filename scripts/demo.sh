#!/usr/bin/env bash
# Builds the library and the morvex command, then compares the bundled
# example pair (examples/a.pdf and examples/b.pdf).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
need_packages demo

echo "== building (build/demo)"
cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVEX_BUILD_TESTS=OFF >/dev/null
ninja -C build/demo morvex morvex_pagelist >/dev/null

echo "== loading the example pair"
for f in examples/a.pdf examples/b.pdf; do
    echo "-- $f"
    build/demo/morvex_pagelist "$f"
done
