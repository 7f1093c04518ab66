add_executable(bench_find ${CMAKE_CURRENT_LIST_DIR}/bench_find.cpp)
target_link_libraries(bench_find PRIVATE MdxWizard benchmark::benchmark)
