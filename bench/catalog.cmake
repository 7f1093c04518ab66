add_executable(bench_catalog ${CMAKE_CURRENT_LIST_DIR}/bench_catalog.cpp)
target_link_libraries(bench_catalog PRIVATE MdxCatalog benchmark::benchmark)
