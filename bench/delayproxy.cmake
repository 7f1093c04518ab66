# A plain program: latency in front of the test server, for catalog-probe to go through.
add_executable(delay-proxy ${CMAKE_CURRENT_LIST_DIR}/delayproxy.cpp)
target_link_libraries(delay-proxy PRIVATE Qt6::Network)
