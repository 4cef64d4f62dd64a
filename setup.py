"""The module's compiled part, built by the project's CMake for the Python that runs this: the
target kammel_python alone, in a GUI-less tree (build-python/cmake/, or KAMMEL_BUILD_DIR's, which is
used as configured when it is), so that a second build recompiles nothing."""

import os
import pathlib
import re
import shutil
import subprocess
import sys
import sysconfig

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent


def version():
    if not (ROOT / "CMakeLists.txt").exists():
        sys.exit("setup.py: build from the repository (pip install ., python3 -m build --wheel): "
                 "a source distribution holds no C++ tree")
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(kammel VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        tree = pathlib.Path(os.environ.get("KAMMEL_BUILD_DIR") or ROOT / "build-python" / "cmake")
        if not (tree / "CMakeCache.txt").exists():
            configure = ["cmake", "-S", str(ROOT), "-B", str(tree), "-DCMAKE_BUILD_TYPE=Release",
                         "-DKAMMEL_GUI=OFF", "-DKAMMEL_TESTS=OFF", "-DKAMMEL_BENCH=OFF",
                         "-DKAMMEL_PYTHON=ON", f"-DPython_EXECUTABLE={sys.executable}"]
            if shutil.which("ninja"):
                configure += ["-G", "Ninja"]
            if shutil.which("ccache"):
                configure.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
            subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(tree), "--target", "kammel_python"], check=True)
        built = tree / "python" / "kammel" / ("_kammel" + sysconfig.get_config_var("EXT_SUFFIX"))
        if not built.exists():
            sys.exit(f"setup.py: {tree} holds no {built.name}: it was configured for another "
                     "Python; give KAMMEL_BUILD_DIR a new folder")
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


# egg_info wants its folder to exist already.
(ROOT / "build-python").mkdir(exist_ok=True)

setup(
    version=version(),
    ext_modules=[Extension("kammel._kammel", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # Beside the CMake trees, not in build/, which is the project's own.
    options={"build": {"build_base": "build-python/setuptools"},
             "egg_info": {"egg_base": "build-python"}},
)
