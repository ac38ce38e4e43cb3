# zr_library(NAME DIR [DEPS ...]): one static library per subsystem folder. Sources are the folder's
# own .cpp files; the include root is src/, so headers are named by their path ("Es/Memory/fastAlloc.h").
function(zr_library name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)  # a folder whose code is still to come: headers only
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# zr_test(NAME DIR LIBS...): one GoogleTest program from the .cpp files of a tests/ folder. On the
# Windows target CMAKE_CROSSCOMPILING_EMULATOR (wine) runs it.
function(zr_test name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARGN} zr_gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # Each suite runs in a folder of its own: what a run writes to its current folder (the action log
  # "patch.log") stays there, out of the source tree and away from the other suites.
  set(run_folder ${CMAKE_CURRENT_BINARY_DIR}/${name}.run)
  file(MAKE_DIRECTORY ${run_folder})
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1 WORKING_DIRECTORY ${run_folder})
  set_tests_properties(${name} PROPERTIES TIMEOUT 1800 ENVIRONMENT "ZR_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
endfunction()
