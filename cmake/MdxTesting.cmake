# mdx_add_test(NAME SOURCES ... LIBRARIES ... [TIMEOUT s] [LABELS ...])
# One Qt Test executable, run offscreen with a timeout so a stray modal box fails the test
# instead of hanging it.
function(mdx_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBRARIES;LABELS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBRARIES})
    target_compile_definitions(${name} PRIVATE MDX_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_ASSUME_STDERR_HAS_CONSOLE=1"
        LABELS "${T_LABELS}")
endfunction()
