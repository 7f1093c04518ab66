add_executable(bench_xmlareader ${CMAKE_CURRENT_LIST_DIR}/bench_xmlareader.cpp)
target_link_libraries(bench_xmlareader PRIVATE MdxXmla benchmark::benchmark)
