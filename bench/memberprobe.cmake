# A plain program: the member window on a level of many members, served by the tests' scripted
# server (so only where the tests are built).
if(TARGET MdxTestSupport)
    add_executable(member-probe ${CMAKE_CURRENT_LIST_DIR}/memberprobe.cpp)
    target_link_libraries(member-probe PRIVATE MdxWizard MdxTestSupport)
    target_compile_definitions(member-probe
        PRIVATE MDX_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
endif()
