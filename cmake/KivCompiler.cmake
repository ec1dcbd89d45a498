# Compiler settings shared by every target: warnings, sanitizers, ccache.

find_program(KIV_CCACHE ccache)
if(KIV_CCACHE)
    # Precompiled headers and ccache only get along with these sloppiness settings.
    set(CMAKE_CXX_COMPILER_LAUNCHER
        ${CMAKE_COMMAND} -E env "CCACHE_BASEDIR=${CMAKE_SOURCE_DIR}"
        "CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime"
        ${KIV_CCACHE})
endif()

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
    set(CMAKE_BUILD_TYPE Debug CACHE STRING "Build type" FORCE)
endif()

set(KIV_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual)
# GCC 12 reports false overlaps in std::string's inlined copies at -O2 (its bug 105329).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    list(APPEND KIV_WARNINGS -Wno-restrict)
endif()
if(KIV_WERROR)
    list(APPEND KIV_WARNINGS -Werror)
endif()

set(KIV_SANITIZER_FLAGS "")
if(KIV_SANITIZE)
    set(KIV_SANITIZER_FLAGS -fsanitize=${KIV_SANITIZE} -fno-omit-frame-pointer)
    if(KIV_SANITIZE MATCHES "undefined")
        list(APPEND KIV_SANITIZER_FLAGS -fno-sanitize-recover=undefined)
    endif()
    add_compile_options(${KIV_SANITIZER_FLAGS})
    add_link_options(${KIV_SANITIZER_FLAGS})
endif()

if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_GENERATOR MATCHES "Ninja")
    add_compile_options(-fdiagnostics-color=always)
endif()
