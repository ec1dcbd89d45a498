# One small helper per target kind: libraries, unit tests, benchmarks.
#
#   kiv_add_library(NAME SRCS ... DEPS ... [AUTOMOC] [PCH header ...])
#   kiv_add_test(NAME SRCS ... DEPS ... [QTEST] [TSAN] [GUI])
#     GUI: a GoogleTest binary whose main makes a QGuiApplication (offscreen) instead of a
#     QCoreApplication, for code that needs the window system (the clipboard).
#     TSAN: the code under test is shared between threads; scripts/test also runs it under
#     ThreadSanitizer (target kiv_tsan_tests, ctest label "tsan").
#   kiv_add_bench(NAME SRCS ... DEPS ...)   (NAME starts with bench_; see scripts/bench)

set(KIV_SRC_ROOT ${CMAKE_SOURCE_DIR}/src)

function(kiv_add_library name)
    cmake_parse_arguments(ARG "AUTOMOC" "" "SRCS;DEPS;PCH" ${ARGN})
    add_library(${name} STATIC ${ARG_SRCS})
    target_include_directories(${name} PUBLIC ${KIV_SRC_ROOT})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    target_compile_options(${name} PRIVATE ${KIV_WARNINGS})
    set_target_properties(${name} PROPERTIES AUTOMOC ${ARG_AUTOMOC})
    if(ARG_PCH)
        target_precompile_headers(${name} PRIVATE ${ARG_PCH})
    endif()
endfunction()

# Tests are plain GoogleTest binaries unless QTEST is given; both run with a
# QCoreApplication/QApplication where they need one (see tests/KivTestMain.cpp).
function(kiv_add_test name)
    if(NOT KIV_BUILD_TESTS)
        return()
    endif()
    cmake_parse_arguments(ARG "QTEST;TSAN;GUI" "" "SRCS;DEPS" ${ARGN})
    add_executable(${name} ${ARG_SRCS})
    target_compile_options(${name} PRIVATE ${KIV_WARNINGS})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    set(test_env "QT_QPA_PLATFORM=offscreen")
    set(labels "")
    if(ARG_TSAN)
        set(labels tsan)
        add_dependencies(kiv_tsan_tests ${name})
    endif()
    if(ARG_QTEST)
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
        target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_DEPS})
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES ENVIRONMENT "${test_env}" TIMEOUT 300
            LABELS "${labels}")
    else()
        if(ARG_GUI)
            target_link_libraries(${name} PRIVATE kiv_test_main_gui GTest::gmock ${ARG_DEPS})
        else()
            target_link_libraries(${name} PRIVATE kiv_test_main GTest::gmock ${ARG_DEPS})
        endif()
        gtest_discover_tests(${name}
            PROPERTIES ENVIRONMENT "${test_env}" TIMEOUT 300 LABELS "${labels}"
            DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)
    endif()
endfunction()

function(kiv_add_bench name)
    cmake_parse_arguments(ARG "" "" "SRCS;DEPS" ${ARGN})
    add_executable(${name} ${ARG_SRCS})
    target_compile_options(${name} PRIVATE ${KIV_WARNINGS})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/bench)
    add_dependencies(kiv_benchmarks ${name})
endfunction()
