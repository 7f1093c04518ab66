# The XML for Analysis client's tests: the answer reader on recorded and hand-made answers,
# the client and data source against a scripted local HTTP server. No real server needed.
set(mdx_xmla_test_library MdxCatalog)
if(TARGET MdxXmlaScratch)
    set(mdx_xmla_test_library MdxXmlaScratch)
endif()
mdx_add_test(tst_xmlareader
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_xmlareader.cpp
            ${CMAKE_CURRENT_LIST_DIR}/catalogtesting.h ${CMAKE_CURRENT_LIST_DIR}/fakehttpserver.h
    LIBRARIES ${mdx_xmla_test_library})
target_include_directories(tst_xmlareader PRIVATE ${CMAKE_CURRENT_LIST_DIR})
