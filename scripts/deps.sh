# Installs what the build and the tests need, on Debian 12, when it is
# missing.  Sourced by the other scripts: `need_packages demo` or
# `need_packages test`.

# Node.js for the npm package's tests: Debian's nodejs brings node and its
# npm package npm; a nodejs package that carries npm itself (NodeSource's)
# conflicts with Debian's npm, which must then not be asked for.
MORVEX_NODE_PACKAGES="nodejs npm"
if dpkg-query -W -f='${Provides}' nodejs 2>/dev/null | grep -qw npm; then
    MORVEX_NODE_PACKAGES="nodejs"
fi

# Packages by purpose.
MORVEX_DEMO_PACKAGES="cmake g++ ninja-build"
MORVEX_TEST_PACKAGES="$MORVEX_DEMO_PACKAGES clang libclang-rt-14-dev zlib1g-dev libgtest-dev
  libbenchmark-dev binutils pkg-config python3 python3-reportlab python3-fitz qpdf
  python3-pil poppler-utils mupdf-tools ghostscript jq locales python3-jsonschema python3-cryptography python3-fonttools
  python3-pip python3-setuptools python3-wheel python3-setuptools-whl python3-wheel-whl python3-venv python3-distributed python3-tqdm
  libpdfbox2-java fonts-dejavu-core groff texlive-binaries texlive-base poppler-data
  python3-html5lib python3-lxml python3-pytest python3-yaml $MORVEX_NODE_PACKAGES"

# What the tests use from those packages: programs on PATH, files, and
# Python modules (py:NAME) of /usr/bin/python3.  scripts/check_test_deps.py
# makes sure each comes from a package listed above (so a machine with an
# extra package cannot hide a missing one) and that every program or module
# the Python tests start or import is named here.
MORVEX_TEST_USES="cmake ninja g++ gcc clang clang++ nm readelf objdump pkg-config dpkg-deb
  /usr/bin/python3 qpdf fix-qdf pdftotext pdftoppm pdftocairo pdfinfo mutool gs ps2pdf jq
  groff /usr/share/groff/current/tmac/s.tmac pdftex /usr/share/texlive/texmf-dist/tex/generic/pdftex/glyphtounicode.tex
  /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf /usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf
  /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf /usr/share/poppler/cMap /usr/share/java/pdfbox2.jar
  /usr/include/gtest/gtest.h /usr/include/benchmark/benchmark.h /usr/include/zlib.h
  py:fitz py:reportlab py:PIL py:jsonschema py:cryptography py:fontTools py:distributed py:dask py:tqdm
  py:setuptools py:wheel py:pip py:venv py:html5lib py:lxml py:pytest py:yaml node npm mkfifo"

need_packages() {
    local list missing=""
    case "$1" in
        demo) list=$MORVEX_DEMO_PACKAGES ;;
        test) list=$MORVEX_TEST_PACKAGES ;;
        *) echo "need_packages: unknown set $1" >&2; return 2 ;;
    esac
    for pkg in $list; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing="$missing $pkg"
        fi
    done
    [ -z "$missing" ] && return 0
    echo "== installing missing packages:$missing"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null; then sudo="sudo"; else
            echo "error: these packages are missing and installing them needs root:$missing" >&2
            return 1
        fi
    fi
    $sudo apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
    echo "== installed:$missing"
}

# The npm package's own packages (js/package-lock.json), from the npm
# registry, when js/node_modules is missing or older than the lock file.
need_js_packages() {
    local stamp=js/node_modules/.package-lock.json
    if [ -f "$stamp" ] && [ ! js/package-lock.json -nt "$stamp" ]; then return 0; fi
    echo "== installing the npm package's dependencies (npm ci in js/)"
    (cd js && npm ci --no-audit --no-fund --loglevel=error)
}

# A locale with a decimal comma, for the tests that make sure a host's
# locale never changes what the library writes.
need_test_locale() {
    if locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then return 0; fi
    echo "== generating the locale de_DE.UTF-8 for the tests"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null
}
