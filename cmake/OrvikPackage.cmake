# Installation of the three libraries (their headers, a CMake package, pkg-config files), the install test and the
# Debian package.
include(CMakePackageConfigHelpers)
set(ORVIK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/OrvikFramework)
install(DIRECTORY include/orvik DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT OrvikFrameworkTargets NAMESPACE OrvikFramework:: DESTINATION ${ORVIK_CMAKE_DIR})
set(ORVIK_STATIC_LIBS ON)
if(BUILD_SHARED_LIBS)
  set(ORVIK_STATIC_LIBS OFF)
endif()
configure_package_config_file(cmake/OrvikFrameworkConfig.cmake.in OrvikFrameworkConfig.cmake
  INSTALL_DESTINATION ${ORVIK_CMAKE_DIR})
write_basic_package_version_file(OrvikFrameworkConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/OrvikFrameworkConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/OrvikFrameworkConfigVersion.cmake
  DESTINATION ${ORVIK_CMAKE_DIR})

if(ORVIK_BUILD_TESTS)
  set(ORVIK_INSTALL_TEST_FLAGS "")
  if(ORVIK_SANITIZE)
    set(ORVIK_INSTALL_TEST_FLAGS "-fsanitize=address,undefined")
  endif()
  add_test(NAME InstallTest.BuildsExamplesAgainstInstalledPackage
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DSOURCE_DIR=${CMAKE_CURRENT_SOURCE_DIR}
      -DWORK_DIR=${CMAKE_BINARY_DIR}/install-test -DCXX_FLAGS=${ORVIK_INSTALL_TEST_FLAGS}
      -DSHARED=${BUILD_SHARED_LIBS} -DBUILD_TYPE=${CMAKE_BUILD_TYPE} -DLAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
      -DSANITIZE=${ORVIK_SANITIZE} -DSOVERSION=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}
      -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/InstallTest.cmake)
  set_tests_properties(InstallTest.BuildsExamplesAgainstInstalledPackage PROPERTIES TIMEOUT 900)
endif()

# `cpack -G DEB` in the build directory makes a Debian package of the same installation.
set(CPACK_PACKAGE_NAME orvik-framework)
set(CPACK_PACKAGE_VENDOR "OrvikFramework")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SDK and command-line tool for ESC/POS receipt printers")
set(CPACK_PACKAGE_CONTACT "OrvikFramework developers <dev@orvik.invalid>")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(ORVIK_STATIC_LIBS)
  # Users of the static libraries link their dependencies themselves, so they need their development files.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libsdbus-c++-dev (>= 1.2), libicu-dev, zlib1g-dev, libqrencode-dev, libisal-dev, libzint-dev, libfreetype-dev, pkg-config")
endif()
include(CPack)
