"""Builds the calculator package: the module calculator._calculator with the
evaluator library's sources compiled into it, so that the installed package
needs nothing else at run time. One build serves every Python 3 from 3.8 on
(the limited API; a wheel tagged abi3).

    python3 -m venv --system-site-packages VENV
    VENV/bin/pip install --no-build-isolation --no-index ./python

The library's sources, their list (calculator/sources.cmake) and the
version (cmake/CalculatorVersion.cmake) are read from the source tree
around this folder; fast_float's headers come from the system
(libfast-float-dev).
"""
import os
import pathlib
import re

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
LIMITED_API = "0x03080000"  # Python 3.8


def cmake_list(path, variable):
    """The items of `set(VARIABLE ...)` in a CMake file."""
    text = (ROOT / path).read_text()
    match = re.search(r"set\(\s*" + variable + r"\s+([^)]*)\)", text)
    if match is None:
        raise SystemExit(f"{path}: no set({variable} ...)")
    items = re.sub(r"#[^\n]*", "", match.group(1)).split()
    return items


VERSION = cmake_list("cmake/CalculatorVersion.cmake", "CALCULATOR_VERSION")[0]
LIBRARY_SOURCES = [str(ROOT / "calculator" / name) for name in
                   cmake_list("calculator/sources.cmake", "CALCULATOR_LIBRARY_SOURCES")]
# Every double operation rounded on its own, as in every build of the library.
FLOATING_POINT_OPTIONS = cmake_list("calculator/sources.cmake", "CALCULATOR_FLOATING_POINT_OPTIONS")


class BuildWithGeneratedHeaders(build_ext):
    """Writes the two headers that CMake generates for the library (the export
    macro, empty here: the library is part of the module and exports
    nothing; the version) before compiling."""

    def run(self):
        include = pathlib.Path(self.build_temp).resolve() / "generated"
        headers = include / "calculator"
        headers.mkdir(parents=True, exist_ok=True)
        major, minor, patch = VERSION.split(".")
        write_if_changed(headers / "calculator_export.h",
                         "#pragma once\n#define CALCULATOR_EXPORT\n")
        write_if_changed(headers / "calculator_version.h", (
            "#pragma once\n"
            f"#define CALCULATOR_VERSION_MAJOR {major}\n"
            f"#define CALCULATOR_VERSION_MINOR {minor}\n"
            f"#define CALCULATOR_VERSION_PATCH {patch}\n"
            f'#define CALCULATOR_VERSION_STRING "{VERSION}"\n'
            "#define CALCULATOR_VERSION_NUMBER (CALCULATOR_VERSION_MAJOR * 10000 + "
            "CALCULATOR_VERSION_MINOR * 100 + CALCULATOR_VERSION_PATCH)\n"))
        for extension in self.extensions:
            extension.include_dirs.insert(0, str(include))
        super().run()


def write_if_changed(path, text):
    if not path.exists() or path.read_text() != text:
        path.write_text(text)


setup(
    name="calculator",
    version=VERSION,
    description="The calculator's exact evaluator: sessions with variables, "
                "correctly rounded functions and the console's answer lines",
    license="MIT",
    python_requires=">=3.8",
    packages=["calculator"],
    package_data={"calculator": ["py.typed", "__init__.pyi"]},
    ext_modules=[Extension(
        "calculator._calculator",
        sources=["calculator_extension.cpp"] + LIBRARY_SOURCES,
        include_dirs=[str(ROOT / "include"), str(ROOT)],
        define_macros=[("Py_LIMITED_API", LIMITED_API)],
        py_limited_api=True,
        language="c++",
        # Only the module's entry point visible.
        extra_compile_args=["-std=c++17", "-fvisibility=hidden", "-fvisibility-inlines-hidden",
                            *FLOATING_POINT_OPTIONS],
    )],
    cmdclass={"build_ext": BuildWithGeneratedHeaders},
    options={"bdist_wheel": {"py_limited_api": "cp38"},
             # The library's sources compiled side by side.
             "build_ext": {"parallel": os.cpu_count() or 1}},
    zip_safe=False,
)
