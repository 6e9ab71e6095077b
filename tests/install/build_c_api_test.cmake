# Builds c_api_test.c against the calculator that pkg-config finds.
#
# Variables: C_COMPILER, C_FLAGS, C_LINK_DRIVER, C_LINK_FLAGS, SOURCE, OUTPUT.

cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)

pkg_config_arguments(libs --libs)
build_c_program(${SOURCE} ${OUTPUT} ${libs} -pthread)
