# Debian packages (cpack -G DEB in a build folder): qibo (the core library,
# the plug-ins and the qibo tool), qibo-dev (headers, CMake package,
# qibo.pc) and quarndelion (the demo and its data). dpkg-shlibdeps works out
# the libraries each needs; the packages depend on each other by version.
set(CPACK_PACKAGE_NAME qibo)
set(CPACK_PACKAGE_VENDOR "qiBO")
set(CPACK_PACKAGE_CONTACT "qiBO developers <qibo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "qiBO, a real-time 3D engine, and Quarndelion, its demo")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development demo)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The core library is in the runtime package, beside the programs that need it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME qibo)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "the qiBO engine: libqiboCore, the picture/model and render-device plug-ins, the qibo tool")
# The render device draws through Mesa where there is no other OpenGL driver.
# SDL opens the GL and EGL loaders (libGL.so.1, libEGL.so.1) at run time, so
# the shared-library scan cannot see them: without libegl1 no window opens.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libgl1-mesa-dri, libegl-mesa0, libegl1, libgl1")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME qibo-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "qiBO development files: headers, CMake package, pkg-config file")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "qibo (= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_DEMO_PACKAGE_NAME quarndelion)
set(CPACK_DEBIAN_DEMO_PACKAGE_SECTION games)
set(CPACK_COMPONENT_DEMO_DESCRIPTION "Quarndelion, the qiBO demo, with its music, pictures and textures")
set(CPACK_DEBIAN_DEMO_PACKAGE_DEPENDS "qibo (= ${PROJECT_VERSION})")

include(CPack)
