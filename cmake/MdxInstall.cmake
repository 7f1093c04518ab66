# Installs the wizard program, and the libraries with their headers as the CMake package
# MdxWizard (imported target MdxWizard::MdxWizard) for hosts that embed the window.
include(CMakePackageConfigHelpers)

set(MDX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/MdxWizard)

install(TARGETS MdxCommon MdxModel MdxXmla MdxCatalog MdxWizard EXPORT MdxWizardTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS mdx-wizard RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(layer common model catalog window)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/${layer}/
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/mdxwizard/${layer}
        FILES_MATCHING PATTERN "*.h")
endforeach()

install(EXPORT MdxWizardTargets NAMESPACE MdxWizard:: DESTINATION ${MDX_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/MdxWizardConfig.cmake.in
    ${PROJECT_BINARY_DIR}/MdxWizardConfig.cmake INSTALL_DESTINATION ${MDX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MdxWizardConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MdxWizardConfig.cmake
    ${PROJECT_BINARY_DIR}/MdxWizardConfigVersion.cmake DESTINATION ${MDX_CMAKE_DIR})
