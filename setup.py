"""Builds the Python module tarn with CMake (python/CMakeLists.txt) for the
interpreter that runs this build, and installs it as one extension file.
numpy, pybind11 and libpng come from Debian (python3-numpy, pybind11-dev,
libpng-dev); nothing is fetched."""
import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent


def version():
    """The project's version, as CMakeLists.txt states it."""
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(tarn VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    """Configures the project for the module alone (no programs, no tests)
    and copies the built module where setuptools wants it."""

    def build_extension(self, ext):
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                        "-DTARN_PYTHON=ON", "-DTARN_BUILD_PROGRAMS=OFF", "-DTARN_BUILD_TESTS=OFF",
                        "-DBUILD_SHARED_LIBS=OFF", "-DPython3_EXECUTABLE=" + sys.executable], check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "tarn_python", "--parallel", jobs],
                       check=True)
        built = next((build / "python").glob("tarn*.so"))
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    version=version(),
    packages=[],  # the module is the one extension
    ext_modules=[Extension("tarn", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # setuptools' own build folder, apart from a CMake build tree in build/.
    options={"build": {"build_base": "build-python"}},
    zip_safe=False,
)
