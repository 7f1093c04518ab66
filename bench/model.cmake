add_executable(bench_model ${CMAKE_CURRENT_LIST_DIR}/bench_model.cpp)
target_link_libraries(bench_model PRIVATE MdxModel benchmark::benchmark)
