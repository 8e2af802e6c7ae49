# Shared compile settings and the helpers that declare the project's libraries
# and test executables.
add_library(zt_options INTERFACE)
target_compile_options(zt_options INTERFACE -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers)
if(ZT_WERROR)
    target_compile_options(zt_options INTERFACE -Werror)
endif()
if(ZT_SANITIZE)
    target_compile_options(zt_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(zt_options INTERFACE -fsanitize=address,undefined)
endif()
target_include_directories(zt_options INTERFACE ${CMAKE_SOURCE_DIR})
target_compile_definitions(zt_options INTERFACE ZT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# Everything the game executable links. The subsystems call each other upward
# through their managers (the game layer's hooks), so the libraries are linked
# as one rescanned group: zt_all is the only way to link them.
add_library(zt_all INTERFACE)

# zt_library(name DIR folder DEPS ...): a static library of every .cpp below
# the folder, except the folder's "main/" entry points. DEPS are external
# libraries only; project libraries reach each other through zt_all.
function(zt_library name)
    cmake_parse_arguments(Z "" "DIR" "DEPS" ${ARGN})
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${Z_DIR}/*.cpp)
    list(FILTER srcs EXCLUDE REGEX "^${Z_DIR}/main/")
    add_library(${name} STATIC ${srcs})
    target_link_libraries(${name} PUBLIC zt_options ${Z_DEPS})
    set_property(GLOBAL APPEND PROPERTY ZT_LIBRARIES ${name})
endfunction()

function(zt_link_group)
    get_property(libs GLOBAL PROPERTY ZT_LIBRARIES)
    list(JOIN libs "," joined)
    target_link_libraries(zt_all INTERFACE "$<LINK_GROUP:RESCAN,${joined}>")
endfunction()

# zt_test(name DIR folder DEPS ...): one GoogleTest executable of every .cpp in
# the folder, run by ctest from the build directory.
function(zt_test name)
    cmake_parse_arguments(Z "" "DIR" "DEPS" ${ARGN})
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${Z_DIR}/*.cpp)
    if(NOT srcs)
        return()
    endif()
    add_executable(${name} ${srcs})
    target_link_libraries(${name} PRIVATE zt_options zt_all ${Z_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
    add_test(NAME ${name} COMMAND ${name})
    # Mesa's drivers leak at exit, outside our code; tests run without a display.
    set_tests_properties(${name} PROPERTIES TIMEOUT 600
        ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0;SDL_VIDEODRIVER=offscreen;ZT_UNATTENDED=1")
endfunction()
