# The wizard's window against the running test server.
mdx_add_olap_test(tst_windowserver
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_windowserver.cpp
    LIBRARIES MdxWizard MdxTestSupport)
