# A plain program, not a Google Benchmark: one pass over a real catalog, timed step by step.
add_executable(catalog-probe ${CMAKE_CURRENT_LIST_DIR}/catalogprobe.cpp)
target_link_libraries(catalog-probe PRIVATE MdxCatalog MdxModel)
