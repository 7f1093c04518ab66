# The XML for Analysis data source against the running test server.
mdx_add_olap_test(tst_xmlaserver
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_xmlaserver.cpp
    LIBRARIES MdxTestSupport MdxModel
    TIMEOUT 300)
