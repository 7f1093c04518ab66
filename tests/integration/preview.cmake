# The result preview against the running test server.
mdx_add_olap_test(tst_preview_server
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_preview_server.cpp
    LIBRARIES MdxWizard MdxTestSupport)
