# The CMake package of the installation: module authors write
# find_package(CleanupAgent 1 REQUIRED) and link Kol::framework.
include(CMakePackageConfigHelpers)

set(CLEANUP_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/CleanupAgent)
install(EXPORT CleanupAgentTargets NAMESPACE Kol:: DESTINATION ${CLEANUP_CMAKE_DIR}
        COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/CleanupAgentConfig.cmake.in
  ${PROJECT_BINARY_DIR}/CleanupAgentConfig.cmake
  INSTALL_DESTINATION ${CLEANUP_CMAKE_DIR}
  PATH_VARS CLEANUP_PLUGIN_DIR)
# A module built against 1.x loads into any 1.y host: the kernel interfaces
# change only with the major version.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/CleanupAgentConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/CleanupAgentConfig.cmake
              ${PROJECT_BINARY_DIR}/CleanupAgentConfigVersion.cmake
        DESTINATION ${CLEANUP_CMAKE_DIR} COMPONENT development)
