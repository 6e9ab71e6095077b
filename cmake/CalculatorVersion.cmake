# The calculator's version, in one place: the native build (CMakeLists.txt)
# and the page's build (web/CMakeLists.txt) both read it, so the library,
# the program, the packages and the page report the same one.
set(CALCULATOR_VERSION 2.1.0)
