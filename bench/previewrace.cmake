# The preview against olap4j's driver (Debian's libolap4j-java; xercesImpl for its parser), only
# where a JDK is there to build the peer.
find_package(Java COMPONENTS Development QUIET)
set(olap4j_jars /usr/share/java/olap4j.jar /usr/share/java/olap4j-xmla.jar
    /usr/share/java/xercesImpl.jar)
set(olap4j_found TRUE)
foreach(jar ${olap4j_jars})
    if(NOT EXISTS ${jar})
        set(olap4j_found FALSE)
    endif()
endforeach()
if(NOT Java_FOUND OR NOT olap4j_found)
    message(STATUS "No JDK or no olap4j jars: preview-race is not built")
    return()
endif()
set(peer_dir ${CMAKE_CURRENT_BINARY_DIR}/olap4j-peer)
set(peer_sources ${CMAKE_CURRENT_LIST_DIR}/olap4j/PreviewPeer.java
    ${CMAKE_CURRENT_LIST_DIR}/olap4j/FactoryJdbc4Plus.java)
string(REPLACE ";" ":" olap4j_classpath "${olap4j_jars}")
add_custom_command(OUTPUT ${peer_dir}/PreviewPeer.class
    COMMAND ${Java_JAVAC_EXECUTABLE} -nowarn -d ${peer_dir} -cp ${olap4j_classpath} ${peer_sources}
    DEPENDS ${peer_sources}
    COMMENT "Building the olap4j peer of preview-race")
add_custom_target(olap4j-peer DEPENDS ${peer_dir}/PreviewPeer.class)
add_executable(preview-race ${CMAKE_CURRENT_LIST_DIR}/previewrace.cpp)
add_dependencies(preview-race olap4j-peer)
target_link_libraries(preview-race PRIVATE MdxWizard)
target_compile_definitions(preview-race PRIVATE MDX_JAVA="${Java_JAVA_EXECUTABLE}"
    MDX_PEER_CLASSPATH="${olap4j_classpath}:${peer_dir}")
