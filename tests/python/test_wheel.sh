#!/usr/bin/env bash
# Builds the Python wheel from a copy of python/, installs it into a fresh
# venv that sees the system's packages (--system-site-packages: Debian's
# setuptools, dask, tqdm) and runs the Python tests against that installed
# copy, with no MORVEX_LIBRARY: the package must find the library inside it.
#
# usage: test_wheel.sh SOURCE_DIR WORK_DIR [LIBRARY]
#   LIBRARY  ship this built library instead of building one with CMake
#            (the sanitizer build ships its instrumented library)
set -euo pipefail
src=$1 work=$2 library=${3:-}
python=/usr/bin/python3
export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INDEX=1 PIP_NO_CACHE_DIR=1

rm -rf "$work"
mkdir -p "$work"
# A copy, so the build writes nothing into the source tree.
cp -r "$src/python" "$work/src"
rm -rf "$work/src/build" "$work/src"/*.egg-info

echo "== building the wheel"
if [ -n "$library" ]; then
    export MORVEX_WHEEL_LIBRARY=$library
else
    export MORVEX_CMAKE_BUILD_DIR=$work/cmake
fi
MORVEX_SOURCE_DIR=$src "$python" -m pip wheel --no-build-isolation --no-deps -w "$work/dist" "$work/src" >"$work/wheel.log" 2>&1 ||
    { cat "$work/wheel.log"; exit 1; }
wheel=$(ls "$work"/dist/morvex-*.whl)
echo "$wheel"

# Plain `pip install .` builds in an isolated environment with setuptools
# and wheel fetched from an index: here Debian's copies of their wheels
# serve as the index.  The library build above is reused.
echo "== building it again with build isolation"
rm -rf "$work/src/build"
MORVEX_SOURCE_DIR=$src "$python" -m pip wheel --no-deps --find-links /usr/share/python-wheels \
    -w "$work/dist-isolated" "$work/src" >"$work/wheel-isolated.log" 2>&1 ||
    { cat "$work/wheel-isolated.log"; exit 1; }
grep -q "Installing build dependencies" "$work/wheel-isolated.log"
list() { "$python" -c 'import sys, zipfile; print(sorted(zipfile.ZipFile(sys.argv[1]).namelist()))' "$1"; }
[ "$(list "$wheel")" = "$(list "$work"/dist-isolated/morvex-*.whl)" ] ||
    { echo "the two wheels hold different files"; exit 1; }
unset MORVEX_WHEEL_LIBRARY MORVEX_CMAKE_BUILD_DIR

echo "== installing it into a fresh venv"
"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --no-deps "$wheel" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; exit 1; }

echo "== the Python tests against the installed package"
# Run from a folder that holds no copy of the package.
cd "$work"
unset MORVEX_LIBRARY PYTHONPATH
export MORVEX_TEST_INSTALLED=1
"$work/venv/bin/python" -c 'import morvex, sys; print("morvex", morvex.__version__, "from", morvex.__file__, "library", morvex.library_path)'
"$work/venv/bin/python" "$src/python/test_morvex.py"
"$work/venv/bin/python" "$src/python/test_batch.py"
# The pytest plugin through the installed package's pytest11 entry point.
"$work/venv/bin/python" -m pytest -p pytester -q -p no:cacheprovider "$src/python/test_pytest_plugin.py"
