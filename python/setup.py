"""Builds the morvex package with the shared library inside it.

The library is built from the source tree this folder belongs to (the
parent folder, or MORVEX_SOURCE_DIR) with CMake, in the build's temporary
folder (or MORVEX_CMAKE_BUILD_DIR), and copied into the package as
libmorvex.so.1.  MORVEX_WHEEL_LIBRARY names an already built library to
ship instead (a packager's own build, or an instrumented one for tests).
The version is the header's MORVEX_VERSION_STRING, written into the
package as morvex/_version.py.
"""

import os
import re
import shutil
import subprocess
import sys

from setuptools import setup
from setuptools.dist import Distribution
from setuptools.command.build_py import build_py

HERE = os.path.dirname(os.path.abspath(__file__))


def source_dir() -> str:
    folder = os.path.abspath(os.environ.get("MORVEX_SOURCE_DIR") or os.path.join(HERE, os.pardir))
    for needed in ("CMakeLists.txt", os.path.join("include", "morvex.h")):
        if not os.path.isfile(os.path.join(folder, needed)):
            sys.exit(f"morvex: {os.path.join(folder, needed)} not found: build the package from the "
                     "python/ folder of a morvex source tree, or set MORVEX_SOURCE_DIR to one")
    return folder


def header_version() -> str:
    with open(os.path.join(source_dir(), "include", "morvex.h"), encoding="utf-8") as f:
        found = re.search(r'#define MORVEX_VERSION_STRING "([^"]+)"', f.read())
    if not found:
        sys.exit("morvex: include/morvex.h defines no MORVEX_VERSION_STRING")
    return found.group(1)


def run(command: list) -> None:
    print("morvex:", " ".join(command), flush=True)
    try:
        subprocess.run(command, check=True)
    except FileNotFoundError:
        sys.exit(f"morvex: {command[0]} not found: building the library needs CMake and a C++20 "
                 "compiler (Debian: apt-get install cmake g++ ninja-build)")
    except subprocess.CalledProcessError as e:
        sys.exit(f"morvex: {' '.join(command)} failed with exit status {e.returncode}")


def build_library(build_temp: str) -> str:
    """Builds the shared library with CMake; returns the file."""
    build = os.path.abspath(os.environ.get("MORVEX_CMAKE_BUILD_DIR") or os.path.join(build_temp, "cmake"))
    configure = ["cmake", "-S", source_dir(), "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                 "-DMORVEX_BUILD_TESTS=OFF"]
    if shutil.which("ninja") and not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        configure += ["-G", "Ninja"]
    run(configure)
    run(["cmake", "--build", build, "--target", "morvex"])
    built = os.path.join(build, "libmorvex.so.1")
    if not os.path.exists(built):
        sys.exit(f"morvex: the build made no {built}")
    return built


class BuildPy(build_py):
    """The Python files, then the library and _version.py beside them."""

    def run(self) -> None:
        super().run()
        package = os.path.join(self.build_lib, "morvex")
        for name in os.listdir(package):
            if name.startswith("libmorvex.so"):
                os.remove(os.path.join(package, name))  # a library left by an earlier build
        library = os.environ.get("MORVEX_WHEEL_LIBRARY") or \
            build_library(self.get_finalized_command("build").build_temp)
        if not os.path.isfile(library):
            sys.exit(f"morvex: MORVEX_WHEEL_LIBRARY names no file: {library}")
        shutil.copyfile(library, os.path.join(package, "libmorvex.so.1"))
        with open(os.path.join(package, "_version.py"), "w", encoding="utf-8") as f:
            f.write(f'"""Written at build time from include/morvex.h."""\n__version__ = "{header_version()}"\n')


class BinaryDistribution(Distribution):
    """Holds a shared library: installed as platform files, in a platform wheel."""

    def has_ext_modules(self) -> bool:
        return True


commands = {"build_py": BuildPy}
try:
    from wheel.bdist_wheel import bdist_wheel

    class BdistWheel(bdist_wheel):
        """A wheel for this platform (it holds a shared library) that any
        Python 3 can use (the binding is ctypes, not an extension module)."""

        def get_tag(self) -> tuple:
            return ("py3", "none") + tuple(super().get_tag()[2:])

    commands["bdist_wheel"] = BdistWheel
except ImportError:  # no wheel package: plain installs still work
    pass

setup(version=header_version(), cmdclass=commands, distclass=BinaryDistribution)
