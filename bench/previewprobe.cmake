# A plain program, not a Google Benchmark: the preview of two result sizes from the test server.
add_executable(preview-probe ${CMAKE_CURRENT_LIST_DIR}/previewprobe.cpp)
target_link_libraries(preview-probe PRIVATE MdxWizard)
