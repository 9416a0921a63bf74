#!/usr/bin/env bash
# Checks that the shared library exports exactly the eight public functions
# and carries a versioned SONAME.
set -euo pipefail
lib="$1"
expected="morvex_cleanup morvex_compare morvex_compare_opts morvex_init morvex_last_error morvex_text morvex_visual morvex_visual_opts"
actual=$(nm -D --defined-only "$lib" | awk '{print $NF}' | grep -v '^_init$\|^_fini$' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
    echo "exported symbols differ"
    echo "  expected: $expected"
    echo "  actual:   $actual"
    exit 1
fi
soname=$(readelf -d "$lib" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
case "$soname" in
    libmorvex.so.[0-9]*) echo "ok: eight functions exported, SONAME $soname" ;;
    *) echo "unexpected SONAME: '$soname'"; exit 1 ;;
esac
