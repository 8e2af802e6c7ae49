# Every dependency is a Debian package; a missing one stops the configure step
# with the package to install (deps.sh installs them all).
find_package(PkgConfig QUIET)

macro(zt_require found pkg)
    if(NOT ${found})
        message(FATAL_ERROR "Missing dependency: install the Debian package ${pkg} (or run ./deps.sh)")
    endif()
endmacro()

find_package(Threads REQUIRED)
find_package(GTest QUIET)
zt_require(GTest_FOUND "libgtest-dev libgmock-dev")
find_package(benchmark QUIET)
zt_require(benchmark_FOUND libbenchmark-dev)

find_package(SDL2 QUIET)
zt_require(SDL2_FOUND libsdl2-dev)
# The OpenGL component needs libOpenGL.so, which only libopengl-dev ships.
find_package(OpenGL QUIET COMPONENTS OpenGL EGL)
zt_require(OPENGL_INCLUDE_DIR libgl-dev)
zt_require(OPENGL_opengl_LIBRARY libopengl-dev)
zt_require(OpenGL_EGL_FOUND libegl-dev)
zt_require(OpenGL_FOUND "libgl-dev libopengl-dev libegl-dev")
find_package(OpenAL QUIET)
zt_require(OPENAL_FOUND libopenal-dev)
find_package(Freetype QUIET)
zt_require(FREETYPE_FOUND libfreetype-dev)
find_package(Fontconfig QUIET)
zt_require(Fontconfig_FOUND libfontconfig-dev)

pkg_check_modules(VORBISFILE QUIET IMPORTED_TARGET vorbisfile)
zt_require(VORBISFILE_FOUND libvorbis-dev)
# Dear ImGui with its SDL2 and OpenGL3 back-ends (the start-up dialogs).
pkg_check_modules(IMGUI QUIET IMPORTED_TARGET imgui)
zt_require(IMGUI_FOUND libimgui-dev)

# zlib inflates and deflates the compressed .x mesh files.
find_package(ZLIB QUIET)
zt_require(ZLIB_FOUND zlib1g-dev)

# libjpeg-turbo decodes JPEG pictures.
find_package(JPEG QUIET)
zt_require(JPEG_FOUND libjpeg62-turbo-dev)

find_path(STB_INCLUDE_DIR stb_image.h PATH_SUFFIXES stb)
zt_require(STB_INCLUDE_DIR libstb-dev)
find_path(GLM_INCLUDE_DIR glm/glm.hpp)
zt_require(GLM_INCLUDE_DIR libglm-dev)
