# Installation: headers under include/qibo/ in the source tree's layout, the
# core library with a versioned SONAME, the plug-ins in lib/qibo/plugins/,
# the qibo tool and the demo with its data, the CMake package (qibo::core,
# qibo_add_plugin) and qibo.pc. Every installed binary finds the others
# through paths relative to itself, so an installed tree can be moved.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QIBO_PLUGIN_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/qibo/plugins)
set(QIBO_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qibo)

# The core library and its headers.
set_target_properties(qiboCore PROPERTIES
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}
  EXPORT_NAME core)
target_include_directories(qiboCore INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/qibo>)
target_compile_features(qiboCore INTERFACE cxx_std_20)
install(TARGETS qiboCore EXPORT qiboTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/core/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qibo/core
  COMPONENT development FILES_MATCHING PATTERN "*.h")

# Run paths from each installed folder to the library folder.
file(RELATIVE_PATH QIBO_BIN_TO_LIB ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}
  ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
file(RELATIVE_PATH QIBO_PLUGIN_TO_LIB ${CMAKE_INSTALL_PREFIX}/${QIBO_PLUGIN_INSTALL_DIR}
  ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})

# The engine's plug-ins and programs.
set_target_properties(qiboIO qiboNet RasterDev PROPERTIES INSTALL_RPATH "\$ORIGIN/${QIBO_PLUGIN_TO_LIB}")
install(TARGETS qiboIO qiboNet RasterDev LIBRARY DESTINATION ${QIBO_PLUGIN_INSTALL_DIR} COMPONENT runtime)
set_target_properties(qibo PROPERTIES INSTALL_RPATH "\$ORIGIN/${QIBO_BIN_TO_LIB}")
install(TARGETS qibo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
set_target_properties(Quarndelion PROPERTIES INSTALL_RPATH "\$ORIGIN/${QIBO_BIN_TO_LIB}")
install(TARGETS Quarndelion RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT demo)
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/runfiles ${CMAKE_BINARY_DIR}/bin/textures
  DESTINATION ${QUARNDELION_DATA_INSTALL_DIR} COMPONENT demo)

# The CMake package: find_package(qibo CONFIG) gives qibo::core and
# qibo_add_plugin().
install(EXPORT qiboTargets NAMESPACE qibo:: DESTINATION ${QIBO_CMAKE_INSTALL_DIR} COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/qiboConfig.cmake.in
  ${CMAKE_BINARY_DIR}/qiboConfig.cmake
  INSTALL_DESTINATION ${QIBO_CMAKE_INSTALL_DIR}
  PATH_VARS QIBO_PLUGIN_INSTALL_DIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/qiboConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/qiboConfig.cmake ${CMAKE_BINARY_DIR}/qiboConfigVersion.cmake
  ${PROJECT_SOURCE_DIR}/cmake/QiboPlugin.cmake
  DESTINATION ${QIBO_CMAKE_INSTALL_DIR} COMPONENT development)

# pkg-config: relative to the .pc file itself, so the tree can be moved.
file(RELATIVE_PATH QIBO_PC_TO_PREFIX ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" QIBO_PC_TO_PREFIX "${QIBO_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/qibo.pc.in ${CMAKE_BINARY_DIR}/qibo.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/qibo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
