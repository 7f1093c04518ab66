# Debian packages of the install components, built with `cpack` (see scripts/package.sh):
#   mdx-wizard      the program, its libraries, desktop entry, icon, metadata, manual page
#   mdx-wizard-dev  the headers and the CMake package MdxWizard
# Configure with -DCMAKE_INSTALL_PREFIX=/usr so that the library directory is Debian's.
set(MDX_MAINTAINER "MDX Wizard developers <developers@mdx-wizard.example.org>")
set(MDX_COMPONENTS Runtime Development)
set(MDX_PACKAGES mdx-wizard mdx-wizard-dev)

# Each package carries the copyright and changelog files Debian asks for.
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in
    ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
mdx_gzip(${PROJECT_BINARY_DIR}/debian/changelog ${PROJECT_BINARY_DIR}/debian/changelog.gz)
foreach(component package IN ZIP_LISTS MDX_COMPONENTS MDX_PACKAGES)
    install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright
        ${PROJECT_BINARY_DIR}/debian/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_VENDOR "MDX Wizard developers")
set(CPACK_PACKAGE_CONTACT "${MDX_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX packages)
# Debian ships no debugging information in the program's package.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${MDX_COMPONENTS})
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS Runtime)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The runtime package's dependencies (Qt, libxml2, zlib) come from the libraries the binaries link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# Descriptions: the first line is the synopsis (as long as the project declares no
# DESCRIPTION, which CPack would put in front of every package's).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME mdx-wizard)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION devel)
# Not needed to start, but the window was laid out for this font; https needs the authorities.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "fonts-liberation2, ca-certificates")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "compose MDX statements against OLAP cubes without typing MDX
A report designer composes an MDX select statement against a cube of an
OLAP server in one window: connect, pick a cube, drag dimensions onto rows,
columns and slicers, tick levels and measures. Cubes come from XML for
Analysis servers, Mondrian 3 schema files or a sample catalog carried inside
the program. The statement is printed on standard output when the window
closes.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME mdx-wizard-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# Headers carry no binary to derive dependencies from: a host also compiles against Qt.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS qt6-base-dev)
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "MDX Wizard window for C++ hosts - development files
Headers and the CMake package MdxWizard (target MdxWizard::MdxWizard) for
programs that embed the MDX Wizard window and read the statement it
composes.")

include(CPack)
