#!/usr/bin/env bash
# Builds the library and the morvex command, then compares the bundled
# example pair (examples/a.pdf and examples/b.pdf).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
need_packages demo

echo "== building (build/demo)"
cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVEX_BUILD_TESTS=OFF >/dev/null
ninja -C build/demo morvex morvex_cli >/dev/null

echo "== morvex compare examples/a.pdf examples/b.pdf"
status=0
build/demo/cli/morvex compare examples/a.pdf examples/b.pdf || status=$?
echo "== morvex text examples/a.pdf examples/b.pdf"
build/demo/cli/morvex text examples/a.pdf examples/b.pdf || true
echo "== exit status of compare: $status (0 identical, 1 different, 2 error)"
[ "$status" -le 1 ]
