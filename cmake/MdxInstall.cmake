# Installs the wizard program with its desktop entry, icon, AppStream metadata and manual page
# (component Runtime), and the headers with the CMake package MdxWizard (imported target
# MdxWizard::MdxWizard) for hosts that embed the window (component Development).
include(CMakePackageConfigHelpers)

set(MDX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/MdxWizard)

# The libraries find each other in their own directory.
set_target_properties(MdxCommon MdxModel MdxXmla MdxCatalog MdxWizard
    PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS MdxCommon MdxModel MdxXmla MdxCatalog MdxWizard EXPORT MdxWizardTargets
    LIBRARY DESTINATION ${MDX_INSTALL_PRIVATE_LIBDIR} COMPONENT Runtime
    NAMELINK_COMPONENT Development
    ARCHIVE DESTINATION ${MDX_INSTALL_PRIVATE_LIBDIR} COMPONENT Development
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
install(TARGETS mdx-wizard RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)

# What the desktop needs to list, describe and start the program.
configure_file(${PROJECT_SOURCE_DIR}/app/mdx-wizard.desktop.in
    ${PROJECT_BINARY_DIR}/${MDX_APP_ID}.desktop @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/app/mdx-wizard.metainfo.xml.in
    ${PROJECT_BINARY_DIR}/${MDX_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${MDX_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT Runtime)
install(FILES ${PROJECT_BINARY_DIR}/${MDX_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT Runtime)
install(FILES ${PROJECT_SOURCE_DIR}/app/mdx-wizard.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME ${MDX_APP_ID}.svg COMPONENT Runtime)

# Compressed as Debian wants documentation (-n: no name or time stamp, so builds repeat).
function(mdx_gzip source target)
    execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${target} COMMAND_ERROR_IS_FATAL ANY)
endfunction()
mdx_gzip(${PROJECT_SOURCE_DIR}/app/mdx-wizard.1 ${PROJECT_BINARY_DIR}/mdx-wizard.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/mdx-wizard.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Runtime)

# Every header of the libraries, so that a host can include what the window's headers do. Listed,
# not globbed: a new header is a decision about what hosts may see.
set(MDX_HEADERS_common failure.h failurecodes.h)
set(MDX_HEADERS_model failure.h layouttree.h mdxstatement.h measurelist.h placement.h query.h
    statementreader.h undohistory.h)
set(MDX_HEADERS_catalog catalog.h connection.h connectionstring.h datasource.h opendatasource.h
    queryresult.h schemadatasource.h schemareader.h waitindicator.h xmladatasource.h)
set(MDX_HEADERS_catalog/xmla waitindicator.h xmlaclient.h xmlaexecuteresult.h xmlafault.h
    xmlanamespaces.h xmlaparts.h xmlareader.h xmlarowset.h xmlatextdecoder.h)
set(MDX_HEADERS_window findfield.h mdxform.h memberchooser.h modelmirrors.h previewwindow.h prompter.h
    resultgrid.h treedrag.h treemenu.h waitdialog.h)
foreach(layer common model catalog catalog/xmla window)
    list(TRANSFORM MDX_HEADERS_${layer} PREPEND ${PROJECT_SOURCE_DIR}/${layer}/
        OUTPUT_VARIABLE headers)
    install(FILES ${headers}
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/mdxwizard/${layer} COMPONENT Development)
endforeach()

install(EXPORT MdxWizardTargets NAMESPACE MdxWizard:: DESTINATION ${MDX_CMAKE_DIR}
    COMPONENT Development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/MdxWizardConfig.cmake.in
    ${PROJECT_BINARY_DIR}/MdxWizardConfig.cmake INSTALL_DESTINATION ${MDX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MdxWizardConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MdxWizardConfig.cmake
    ${PROJECT_BINARY_DIR}/MdxWizardConfigVersion.cmake DESTINATION ${MDX_CMAKE_DIR}
    COMPONENT Development)
