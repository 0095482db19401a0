# One interface target carries the language level, warnings and strict Qt defines
# for every target of ours.
add_library(trawlex_options INTERFACE)
target_compile_features(trawlex_options INTERFACE cxx_std_20)
target_compile_options(trawlex_options INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(trawlex_options INTERFACE
    QT_NO_CAST_TO_ASCII
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_FOREACH
    QT_DISABLE_DEPRECATED_UP_TO=0x060000)
if(TRAWLEX_SANITIZE)
    target_compile_options(trawlex_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(trawlex_options INTERFACE -fsanitize=address,undefined)
endif()
if(TRAWLEX_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "TRAWLEX_FUZZ needs clang (CC=clang CXX=clang++)")
    endif()
    if(TRAWLEX_GUI OR TRAWLEX_SANITIZE)
        message(FATAL_ERROR "TRAWLEX_FUZZ is a pure build of its own: -DTRAWLEX_GUI=OFF, no TRAWLEX_SANITIZE")
    endif()
    # Coverage feedback and both sanitizers in every library of ours; the fuzzers add
    # libFuzzer's own main when they link. A finding must stop the run, so undefined
    # behaviour aborts instead of printing and going on.
    target_compile_options(trawlex_options INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
        -fno-omit-frame-pointer -O1 -gline-tables-only)
    target_link_options(trawlex_options INTERFACE -fsanitize=address,undefined)
endif()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

# Adds a unit test executable whose GoogleTest cases CTest discovers one by one.
# trawlex_add_test(NAME name SOURCES ... LIBS ... [LABELS ...])
function(trawlex_add_test)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${T_NAME} PRIVATE trawlex_options ${T_LIBS} trawlex_test_support
        GTest::gtest GTest::gmock GTest::gtest_main)
    # Window and engine tests run on the test doubles of the browser engine.
    if(T_LABELS MATCHES "gui|e2e")
        target_link_libraries(${T_NAME} PRIVATE trawlex_test_support_ui)
    endif()
    target_compile_definitions(${T_NAME} PRIVATE
        TRAWLEX_FIXTURES_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures"
        TRAWLEX_BINARY_DIR="${PROJECT_BINARY_DIR}"
        TRAWLEX_PROGRAM_DIR="${TRAWLEX_PROGRAM_DIR}")
    set(labels ${T_LABELS})
    if(NOT labels)
        set(labels unit)
    endif()
    gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${labels}"
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTWEBENGINE_DISABLE_SANDBOX=1")
endfunction()
