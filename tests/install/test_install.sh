#!/usr/bin/env bash
# Installs the build into a fresh prefix, then builds the example host
# program against it twice, with pkg-config and with find_package, and runs
# both on the example pair.  Also checks the installed files and the CLI.
# usage: test_install.sh BUILD_DIR SOURCE_DIR WORK_DIR
set -euo pipefail
build=$1 src=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

libdir=$(find "$prefix" -name 'libmorvex.so.1' -printf '%h\n')
for f in "$prefix/include/morvex.h" "$prefix/bin/morvex" "$libdir/libmorvex.so" \
         "$libdir/pkgconfig/morvex.pc" "$libdir/cmake/morvex/morvexConfig.cmake"; do
    [ -e "$f" ] || { echo "missing after install: $f"; exit 1; }
done
[ "$(readlink "$libdir/libmorvex.so")" = libmorvex.so.1 ] || { echo "libmorvex.so should link to the SONAME"; exit 1; }

run_host() {
    local host=$1 out="$work/report-$2.pdf" status=0
    "$host" "$src/examples/a.pdf" "$src/examples/b.pdf" "$out" >"$work/out-$2.txt" || status=$?
    [ "$status" -eq 1 ] || { echo "$2 host: exit status $status, expected 1"; cat "$work/out-$2.txt"; exit 1; }
    grep -q '"type":"page_added"' "$work/out-$2.txt" || { echo "$2 host: no page_added"; exit 1; }
    head -c 8 "$out" | grep -q '%PDF-1.4' || { echo "$2 host: no report"; exit 1; }
    echo "ok: $2 host"
}

# pkg-config
export PKG_CONFIG_PATH="$libdir/pkgconfig"
cc -std=c11 -Wall -Wextra -Werror "$src/examples/host.c" -o "$work/host-pkgconfig" \
    $(pkg-config --cflags --libs morvex) -Wl,-rpath,"$(pkg-config --variable=libdir morvex)"
run_host "$work/host-pkgconfig" pkg-config

# find_package
cmake -S "$src/tests/install" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
      -DHOST_SOURCE="$src/examples/host.c" >/dev/null
cmake --build "$work/consumer" >/dev/null
run_host "$work/consumer/host" find_package

# The installed command finds its library through its RUNPATH.
status=0
"$prefix/bin/morvex" compare "$src/examples/a.pdf" "$src/examples/a.pdf" >/dev/null || status=$?
[ "$status" -eq 0 ] || { echo "installed morvex: exit status $status"; exit 1; }
echo "ok: installed morvex command"

# The Debian package holds the same tree.
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null)
deb=$(ls "$work"/package/morvex_*.deb)
contents=$(dpkg-deb -c "$deb")
for f in bin/morvex include/morvex.h libmorvex.so.1.1.0 pkgconfig/morvex.pc cmake/morvex/morvexConfig.cmake; do
    grep -q "$f" <<<"$contents" || { echo "the package lacks $f"; exit 1; }
done
dpkg-deb -f "$deb" Package Version Depends
echo "ok: Debian package $(basename "$deb")"
