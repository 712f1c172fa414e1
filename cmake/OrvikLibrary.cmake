# orvik_library(<target> EXPORT_NAME <name> SOURCES <file>...)
# One of the installed libraries: OrvikFramework::<name> in the build and in the installed package, a file named
# lib<project><name> (the SDK's is plain libOrvikFramework), the public headers in include/, the private ones in src/.
function(orvik_library target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "EXPORT_NAME" "SOURCES")
  add_library(${target} ${arg_SOURCES})
  add_library(OrvikFramework::${arg_EXPORT_NAME} ALIAS ${target})
  set(file_name ${PROJECT_NAME})
  if(NOT arg_EXPORT_NAME STREQUAL PROJECT_NAME)
    string(APPEND file_name ${arg_EXPORT_NAME})
  endif()
  # Every 0.x minor release may break the binary interface, so the minor version is part of the soname.
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${arg_EXPORT_NAME} OUTPUT_NAME ${file_name}
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
  target_include_directories(${target}
    PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
    PRIVATE ${PROJECT_SOURCE_DIR}/src)
  install(TARGETS ${target} EXPORT OrvikFrameworkTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endfunction()

# orvik_pkg_config(<file name> DESCRIPTION <text> [REQUIRES <module>...] [DEPENDENCIES <module>...] [LIBRARIES <name>...])
# Writes and installs <file name>.pc for the library of that file name. DEPENDENCIES are what the library links
# privately: a shared library brings them itself (Requires.private), a static one needs them linked by its user,
# also without --static (Requires). LIBRARIES are private dependencies without a pkg-config module, linked by name.
function(orvik_pkg_config name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DESCRIPTION" "REQUIRES;DEPENDENCIES;LIBRARIES")
  set(PC_NAME ${name})
  set(PC_DESCRIPTION "${arg_DESCRIPTION}")
  set(PC_REQUIRES ${arg_REQUIRES})
  set(PC_REQUIRES_PRIVATE "")
  list(TRANSFORM arg_LIBRARIES PREPEND "-l")
  list(JOIN arg_LIBRARIES " " libraries)
  if(BUILD_SHARED_LIBS)
    list(APPEND PC_REQUIRES_PRIVATE ${arg_DEPENDENCIES})
    set(PC_LIBS_PRIVATE "${libraries}")
  else()
    list(APPEND PC_REQUIRES ${arg_DEPENDENCIES})
    set(PC_LIBS "${libraries}")
  endif()
  list(JOIN PC_REQUIRES " " PC_REQUIRES)
  list(JOIN PC_REQUIRES_PRIVATE " " PC_REQUIRES_PRIVATE)
  file(RELATIVE_PATH PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
  string(REGEX REPLACE "/$" "" PC_TO_PREFIX "${PC_TO_PREFIX}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/OrvikFramework.pc.in ${PROJECT_BINARY_DIR}/${name}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
