# Shared compile settings and the helpers that declare the project's libraries
# and test executables.
add_library(zt_options INTERFACE)
target_compile_options(zt_options INTERFACE -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers)
if(ZT_WERROR)
    target_compile_options(zt_options INTERFACE -Werror)
endif()
if(ZT_SANITIZE)
    target_compile_options(zt_options INTERFACE -fsanitize=address,undefined,float-cast-overflow -fno-omit-frame-pointer -fno-sanitize-recover=undefined,float-cast-overflow)
    target_link_options(zt_options INTERFACE -fsanitize=address,undefined,float-cast-overflow)
endif()
target_include_directories(zt_options INTERFACE ${CMAKE_SOURCE_DIR})
target_compile_definitions(zt_options INTERFACE ZT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# zt_library(name DIR folder USES ... DEPS ...): a static library of every
# .cpp below the folder, except the folder's "main/" entry points. USES names
# the project libraries whose headers the folder's code includes, every one
# and no other (the layer check compares them), DEPS the external ones; both
# are public, so a library brings what it needs wherever it is linked. A
# library may use a higher layer only where tools/layer_allowlist.txt lists
# the include with its reason; such a use makes a cycle of static libraries,
# which CMake links by repeating the libraries of the cycle.
function(zt_library name)
    cmake_parse_arguments(Z "" "DIR" "USES;DEPS" ${ARGN})
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${Z_DIR}/*.cpp)
    list(FILTER srcs EXCLUDE REGEX "^${Z_DIR}/main/")
    add_library(${name} STATIC ${srcs})
    target_link_libraries(${name} PUBLIC zt_options ${Z_USES} ${Z_DEPS})
    set_property(TARGET ${name} PROPERTY LINK_INTERFACE_MULTIPLICITY 3)
endfunction()

# Everything the game executable links: the top layer brings the rest.
add_library(zt_all INTERFACE)
target_link_libraries(zt_all INTERFACE game)

set(ZT_LEAK_OPTIONS "ASAN_OPTIONS=detect_leaks=1"
    "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/leaks.supp:print_suppressions=0")

# With ZT_PCH, the test executables share one precompiled header: GoogleTest,
# GoogleMock and the standard headers most tests include, which each test
# source would otherwise parse again (about a fifth of its compile time under
# the sanitizers).
if(ZT_PCH)
    file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/zt_test_pch.cpp CONTENT "")
    add_library(zt_test_pch OBJECT ${CMAKE_BINARY_DIR}/zt_test_pch.cpp)
    target_link_libraries(zt_test_pch PRIVATE zt_options GTest::gtest GTest::gmock)
    target_precompile_headers(zt_test_pch PRIVATE <gtest/gtest.h> <gmock/gmock.h> <algorithm> <cmath> <cstring>
        <filesystem> <fstream> <functional> <memory> <string> <vector>)
endif()

# zt_test(name DIR folder LINKS ... DEPS ... [SHARDS n [SERIAL filter]]
# [TIMEOUT s] [LABEL l] [OWN_MAIN]): one GoogleTest executable of every .cpp
# in the folder, linked against the project libraries in LINKS (the least its
# tests use) and the external DEPS, run by ctest from the build directory with
# the label l ("unit" when none is given); with SHARDS, as n ctest tests
# name_0 .. name_<n-1> that each run every n-th test, side by side, and the
# tests matching the GoogleTest filter SERIAL (those that measure time as it
# passes) as name_serial, alone. With OWN_MAIN the folder's sources hold the
# main, which may share the tests out among the shards itself.
function(zt_test name)
    cmake_parse_arguments(Z "OWN_MAIN" "DIR;SHARDS;SERIAL;TIMEOUT;LABEL" "LINKS;DEPS" ${ARGN})
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${Z_DIR}/*.cpp)
    if(NOT srcs)
        return()
    endif()
    if(NOT Z_TIMEOUT)
        set(Z_TIMEOUT 600)
    endif()
    if(NOT Z_LABEL)
        set(Z_LABEL unit)
    endif()
    add_executable(${name} ${srcs})
    target_link_libraries(${name} PRIVATE zt_options ${Z_LINKS} ${Z_DEPS} GTest::gtest GTest::gmock)
    if(NOT Z_OWN_MAIN)
        target_link_libraries(${name} PRIVATE GTest::gtest_main)
    endif()
    if(ZT_PCH)
        target_precompile_headers(${name} REUSE_FROM zt_test_pch)
    endif()
    # Leaks fail the test; what the system's libraries keep is suppressed by
    # name (tests/leaks.supp). Tests run without a display. Beside others,
    # llvmpipe draws a test's frames on the one core ctest gives it, so that
    # tests side by side do not fight over the cores; a test run alone keeps
    # them all.
    set(env "${ZT_LEAK_OPTIONS};SDL_VIDEODRIVER=offscreen;ZT_UNATTENDED=1")
    set(oneCore "LP_NUM_THREADS=1")
    if(NOT Z_SHARDS)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES TIMEOUT ${Z_TIMEOUT} LABELS ${Z_LABEL} ENVIRONMENT "${env};${oneCore}")
        return()
    endif()
    set(shardEnv "${env};${oneCore};GTEST_TOTAL_SHARDS=${Z_SHARDS}")
    if(Z_SERIAL)
        set(shardEnv "${shardEnv};GTEST_FILTER=-${Z_SERIAL}")
    endif()
    math(EXPR last "${Z_SHARDS} - 1")
    foreach(i RANGE ${last})
        add_test(NAME ${name}_${i} COMMAND ${name})
        set_tests_properties(${name}_${i} PROPERTIES TIMEOUT ${Z_TIMEOUT} LABELS ${Z_LABEL}
            ENVIRONMENT "${shardEnv};GTEST_SHARD_INDEX=${i}")
    endforeach()
    if(Z_SERIAL)
        add_test(NAME ${name}_serial COMMAND ${name})
        set_tests_properties(${name}_serial PROPERTIES TIMEOUT ${Z_TIMEOUT} LABELS ${Z_LABEL} RUN_SERIAL TRUE
            ENVIRONMENT "${env};GTEST_FILTER=${Z_SERIAL}")
    endif()
endfunction()
