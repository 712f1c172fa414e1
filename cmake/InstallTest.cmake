# Installs the build tree into a fresh prefix, then builds and runs the examples against it: once through the
# CMake package and once through pkg-config.
# Inputs: BUILD_DIR, SOURCE_DIR, WORK_DIR, CXX_FLAGS (the flags the tree was built with, for sanitizer builds).
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}")
  endif()
endfunction()

run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}")
foreach(installed include/orvik/OrvikFramework.h lib/libOrvikFramework.a bin/orvik
        lib/cmake/OrvikFramework/OrvikFrameworkConfig.cmake lib/pkgconfig/OrvikFramework.pc)
  if(NOT EXISTS "${prefix}/${installed}")
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()

set(consumer "${WORK_DIR}/consumer")
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
run("${consumer}/build/examples/orvik-demo")

set(ENV{PKG_CONFIG_PATH} "${prefix}/lib/pkgconfig")
execute_process(COMMAND pkg-config --static --cflags --libs OrvikFramework OUTPUT_VARIABLE flags
                RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know OrvikFramework")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(extra UNIX_COMMAND "${CXX_FLAGS}")
run(c++ ${extra} "${SOURCE_DIR}/examples/orvik-demo.cpp" -o "${WORK_DIR}/orvik-demo-pc" ${flags})
run("${WORK_DIR}/orvik-demo-pc")
run("${prefix}/bin/orvik" --help)
