# mdx_add_test(NAME SOURCES ... LIBRARIES ... [TIMEOUT s] [LABELS ...])
# One Qt Test executable, run offscreen with a timeout so a stray modal box fails the test
# instead of hanging it.
set(MDX_TEST_DATA_DIR ${PROJECT_SOURCE_DIR}/tests/data)
set(MDX_TEST_ENVIRONMENT QT_QPA_PLATFORM=offscreen QT_ASSUME_STDERR_HAS_CONSOLE=1)
if(WIN32 AND CMAKE_CROSSCOMPILING)
    # Wine passes no QT_ variable to a Windows program, but WINEQT_X arrives as QT_X. The
    # offscreen platform there reads fonts from one folder only. Wine's drive Z: is the root.
    set(MDX_TEST_DATA_DIR Z:${MDX_TEST_DATA_DIR})
    list(APPEND MDX_TEST_ENVIRONMENT WINEQT_QPA_PLATFORM=offscreen
         WINEQT_ASSUME_STDERR_HAS_CONSOLE=1
         WINEQT_QPA_FONTDIR=Z:/usr/share/fonts/truetype/liberation2)
endif()

function(mdx_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBRARIES;LABELS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBRARIES})
    target_compile_definitions(${name} PRIVATE MDX_TEST_DATA_DIR="${MDX_TEST_DATA_DIR}")
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "${MDX_TEST_ENVIRONMENT}"
        LABELS "${T_LABELS}")
endfunction()
