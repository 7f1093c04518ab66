# The XML for Analysis client's tests: the answer reader on recorded and hand-made answers,
# the client and data source against a scripted local HTTP server. No real server needed.
mdx_add_test(tst_xmlareader
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_xmlareader.cpp ${CMAKE_CURRENT_LIST_DIR}/xmlareading.h
            ${CMAKE_CURRENT_LIST_DIR}/catalogtesting.h ${CMAKE_CURRENT_LIST_DIR}/fakehttpserver.h
    LIBRARIES MdxCatalog)
mdx_add_test(tst_xmladatasource
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_xmladatasource.cpp
            ${CMAKE_CURRENT_LIST_DIR}/catalogtesting.h ${CMAKE_CURRENT_LIST_DIR}/fakehttpserver.h
    LIBRARIES MdxCatalog
    TIMEOUT 120)
mdx_add_test(tst_xmla_shapes
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_xmla_shapes.cpp
            ${CMAKE_CURRENT_LIST_DIR}/catalogtesting.h ${CMAKE_CURRENT_LIST_DIR}/fakehttpserver.h
    LIBRARIES MdxCatalog)
