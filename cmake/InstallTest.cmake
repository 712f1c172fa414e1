# Installs the build tree into a fresh prefix, builds the project a second time with the other kind of library
# (shared or static) into another prefix, then builds and runs the examples against each prefix: once through the
# CMake package and once through pkg-config.
# Inputs: BUILD_DIR, SOURCE_DIR, WORK_DIR, SHARED (BUILD_SHARED_LIBS of the tree), BUILD_TYPE, LAUNCHER, SANITIZE,
# SOVERSION, CXX_FLAGS (the flags the tree was built with, for sanitizer builds).
set(libraries OrvikFramework OrvikFrameworkSimulator OrvikFrameworkVirtualPrinter)
# Each example, and the pkg-config module it is built with.
set(examples orvik-demo=OrvikFrameworkSimulator orvik-virtual-printer=OrvikFrameworkVirtualPrinter)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}")
  endif()
endfunction()

function(expect_installed prefix)
  foreach(file IN LISTS ARGN)
    if(NOT EXISTS "${prefix}/${file}")
      message(FATAL_ERROR "not installed: ${prefix}/${file}")
    endif()
  endforeach()
endfunction()

# Checks one installed prefix of the given kind ("shared" or "static") by building the examples against it.
function(check_prefix prefix kind)
  set(files include/orvik/OrvikFramework.h include/orvik/sim/Simulator.h include/orvik/vprinter/Server.h
            lib/cmake/OrvikFramework/OrvikFrameworkConfig.cmake)
  foreach(library IN LISTS libraries)
    list(APPEND files lib/pkgconfig/${library}.pc)
    if(kind STREQUAL "shared")
      list(APPEND files lib/lib${library}.so lib/lib${library}.so.${SOVERSION})
    else()
      list(APPEND files lib/lib${library}.a)
    endif()
  endforeach()
  expect_installed("${prefix}" ${files})
  if(EXISTS "${prefix}/include/orvik/vprinter/Decoder.h")
    message(FATAL_ERROR "the decoder's header is private, yet installed")
  endif()
  # The exported targets name their dependencies' targets, never a file on the machine that built them.
  file(GLOB exports "${prefix}/lib/cmake/OrvikFramework/OrvikFrameworkTargets*.cmake")
  foreach(export IN LISTS exports)
    file(STRINGS "${export}" absolute REGEX "INTERFACE_LINK_LIBRARIES \"[^\"]*/")
    if(absolute)
      message(FATAL_ERROR "an absolute library path in ${export}: ${absolute}")
    endif()
  endforeach()

  set(consumer "${WORK_DIR}/consumer-${kind}")
  file(WRITE "${consumer}/CMakeLists.txt" "
cmake_minimum_required(VERSION 3.25)
project(OrvikExamples LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(OrvikFramework 0.1 CONFIG REQUIRED)
add_subdirectory(\"${SOURCE_DIR}/examples\" examples)
")
  run("${CMAKE_COMMAND}" -S "${consumer}" -B "${consumer}/build" -G Ninja "-DCMAKE_PREFIX_PATH=${prefix}"
      "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}")
  run("${CMAKE_COMMAND}" --build "${consumer}/build")

  # No --static: a static installation names its dependencies as public requirements.
  set(ENV{PKG_CONFIG_PATH} "${prefix}/lib/pkgconfig")
  separate_arguments(extra UNIX_COMMAND "${CXX_FLAGS}")
  foreach(example IN LISTS examples)
    string(REPLACE "=" ";" example "${example}")
    list(GET example 0 program)
    list(GET example 1 module)
    run("${consumer}/build/examples/${program}")
    execute_process(COMMAND pkg-config --cflags --libs ${module} OUTPUT_VARIABLE flags RESULT_VARIABLE result
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "pkg-config does not know ${module}")
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    run(c++ ${extra} "${SOURCE_DIR}/examples/${program}.cpp" -o "${consumer}/${program}-pc" ${flags}
        "-Wl,-rpath,${prefix}/lib")
    run("${consumer}/${program}-pc")
  endforeach()
endfunction()

if(SHARED)
  set(kind shared)
  set(other static)
else()
  set(kind static)
  set(other shared)
endif()
file(REMOVE_RECURSE "${WORK_DIR}/prefix-${kind}" "${WORK_DIR}/prefix-${other}" "${WORK_DIR}/consumer-${kind}"
     "${WORK_DIR}/consumer-${other}")

run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}/prefix-${kind}")
expect_installed("${WORK_DIR}/prefix-${kind}" bin/orvik)
run("${WORK_DIR}/prefix-${kind}/bin/orvik" --help)
# The virtual-printer commands are handed to the full program, found where it is installed.
run("${WORK_DIR}/prefix-${kind}/bin/orvik" preview --help)
check_prefix("${WORK_DIR}/prefix-${kind}" ${kind})

# The libraries alone, the other kind; the build folder is kept, so a later run only rebuilds what changed.
set(other_build "${WORK_DIR}/build-${other}")
if(other STREQUAL "shared")
  set(other_shared ON)
else()
  set(other_shared OFF)
endif()
run("${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${other_build}" -G Ninja "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}"
    "-DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER}" -DBUILD_SHARED_LIBS=${other_shared} -DORVIK_SANITIZE=${SANITIZE}
    -DORVIK_BUILD_TESTS=OFF -DORVIK_BUILD_BENCH=OFF -DORVIK_BUILD_TOOLS=OFF)
run("${CMAKE_COMMAND}" --build "${other_build}")
run("${CMAKE_COMMAND}" --install "${other_build}" --prefix "${WORK_DIR}/prefix-${other}")
check_prefix("${WORK_DIR}/prefix-${other}" ${other})
