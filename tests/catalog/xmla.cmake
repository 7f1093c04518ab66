# The XML for Analysis client's tests: the answer reader on recorded and hand-made answers,
# the client and data source against a scripted local HTTP server. No real server needed.
mdx_add_test(tst_xmlareader
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_xmlareader.cpp
    LIBRARIES MdxTestSupport)
mdx_add_test(tst_xmladatasource
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_xmladatasource.cpp
    LIBRARIES MdxTestSupport
    TIMEOUT 120)
mdx_add_test(tst_httpresponse
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_httpresponse.cpp
    LIBRARIES MdxTestSupport)
