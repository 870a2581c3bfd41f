# Two Debian packages (cpack -G DEB; scripts/package configures for /usr):
#   cleanup-agent      the program, its plug-in and the two framework libraries
#                      (private, in its own library folder), the manual page,
#                      units, completion and configuration file
#   cleanup-agent-dev  headers and CMake package for module authors
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cleanup-agent)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT
    "Seed e0880d2e maintainers <maintainers@users.noreply.c-seed-e0880d2e.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
# /etc/cleanup-agent.conf is an absolute destination: install through DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The program and the plug-in link the private libraries of their own package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_INSTALL_FULL_LIBDIR}/cleanup-agent)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME cleanup-agent)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION admin)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "clean a remote-management agent's SQLite store
cleanup-agent loads the agent's cleanup module (a POCO plug-in) and lets it
remove replicated, obsolete, abandoned, ignored and old logs, enrolment
tombstones and deleted static objects from the agent's SQLite store in short
write transactions, return the free space and back the store up.
.
The package also holds the module framework's libraries, a systemd
service and daily timer (installed, not enabled) and bash completion.")
set(conffiles ${CMAKE_CURRENT_BINARY_DIR}/conffiles)
file(WRITE ${conffiles} "${CLEANUP_CONFIG_FILE}\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${conffiles} ${CMAKE_CURRENT_SOURCE_DIR}/postinst
    ${CMAKE_CURRENT_SOURCE_DIR}/prerm ${CMAKE_CURRENT_SOURCE_DIR}/postrm)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME cleanup-agent-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
    "cleanup-agent (= ${PROJECT_VERSION}), libboost-thread-dev, libboost-date-time-dev, libboost-chrono-dev, libpoco-dev, libprotobuf-dev")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "headers and CMake package for cleanup-agent modules
The kernel interfaces, messages, data definitions and module framework
(CCommonModule) of cleanup-agent, with a CMake package:
find_package(CleanupAgent 1) gives the targets Kol::framework and
Kol::contracts for building plug-in modules that cleanup-agent loads.")
include(CPack)
