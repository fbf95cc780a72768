# Build options shared by every target.

option(PROJECT_WERROR "Treat compiler warnings as errors" OFF)
set(PROJECT_SANITIZE "" CACHE STRING "Sanitizers to build with, e.g. address,undefined or thread")
option(PROJECT_BUILD_TESTS "Build the test suite" ON)
option(PROJECT_BUILD_BENCHMARKS "Build the benchmarks (needs Google Benchmark)" ON)
option(PROJECT_BUILD_FUZZERS "Build the fuzz targets (libFuzzer with clang, a corpus runner otherwise)" ON)
option(PROJECT_BUILD_APP "Build the Qt application and views (needs Qt 6 Widgets)" ON)
# The folders of src/, tests/ and bench/ that hold the application and the views or build on them:
# with PROJECT_BUILD_APP off they are not added, and so Qt is not looked for.
set(PROJECT_APP_FOLDERS app midi_ui)
# Test programs spend most of their compile time generating the same GoogleTest and library inline
# code in every file; compiled a few files at a time, each test program builds in about 60% of the
# time. A test file whose internal names clash with another's in its batch can leave the batches
# with set_source_files_properties(<file> PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON).
option(PROJECT_UNITY_TESTS "Compile the sources of each test program in batches" ON)
set(PROJECT_UNITY_TESTS_BATCH 8 CACHE STRING "Test sources compiled together in one batch")

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
    set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()

# Warnings and sanitizers travel through one interface target that every project target links.
add_library(project_options INTERFACE)
target_compile_options(project_options INTERFACE -Wall -Wextra -Wpedantic)
if(PROJECT_WERROR)
    target_compile_options(project_options INTERFACE -Werror)
endif()

if(PROJECT_SANITIZE)
    # Sanitizers apply to the whole build (also GoogleTest's main), so they go in the global flags.
    set(_san_flags "-fsanitize=${PROJECT_SANITIZE} -fno-omit-frame-pointer")
    if(PROJECT_SANITIZE MATCHES "undefined")
        string(APPEND _san_flags " -fno-sanitize-recover=undefined")
    endif()
    string(APPEND CMAKE_CXX_FLAGS " ${_san_flags}")
    string(APPEND CMAKE_EXE_LINKER_FLAGS " ${_san_flags}")
    string(APPEND CMAKE_SHARED_LINKER_FLAGS " ${_san_flags}")
endif()

if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    set(PROJECT_LIBFUZZER ON)
    # The libraries under test need coverage instrumentation too, or libFuzzer sees only the fuzz
    # target's own file and runs nearly blind.
    if(PROJECT_BUILD_FUZZERS)
        string(APPEND CMAKE_CXX_FLAGS " -fsanitize=fuzzer-no-link")
    endif()
else()
    set(PROJECT_LIBFUZZER OFF)
endif()

find_package(Threads REQUIRED)
if(PROJECT_BUILD_TESTS)
    find_package(GTest REQUIRED)
    include(GoogleTest)
endif()
if(PROJECT_BUILD_BENCHMARKS)
    find_package(benchmark QUIET)
    if(NOT benchmark_FOUND)
        message(STATUS "Google Benchmark not found: benchmarks are not built")
        set(PROJECT_BUILD_BENCHMARKS OFF)
    endif()
endif()

# Where tests find the reference files that independent tools produced.
set(PROJECT_TEST_DATA_DIR ${CMAKE_SOURCE_DIR}/tests/data)
