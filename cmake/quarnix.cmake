# Helpers shared by every folder's CMakeLists.txt.

# qx_library(<folder> [DEPS libs...]): the static library qx_<folder> from
# every .cpp/.c in src/<folder>. Headers of src/ are included as "folder/x.h".
function(qx_library folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  if(NOT sources)
    # A folder whose code is still to come builds an empty library.
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/empty.cpp "")
    set(sources ${CMAKE_CURRENT_BINARY_DIR}/empty.cpp)
  endif()
  add_library(qx_${folder} STATIC ${sources})
  target_include_directories(qx_${folder} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  if(ARG_DEPS)
    target_link_libraries(qx_${folder} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# qx_test_compile_flags(<target>): test code is mostly set-up and assertions,
# yet it is most of what the build compiles; it is built unoptimised, which
# compiles it in less than half the time, while the code under test keeps the
# build's flags. The test targets share one precompiled GoogleTest header,
# which ccache caches only when told that the header's defines and time
# macros may be taken as they are.
function(qx_test_compile_flags target)
  target_compile_options(${target} PRIVATE -O0)
  if(CCACHE)
    set_target_properties(${target} PROPERTIES CXX_COMPILER_LAUNCHER
      "${CMAKE_COMMAND};-E;env;CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime;${CCACHE}")
  endif()
endfunction()

# qx_test_folder(<name> [DEPS libs...] [LABELS labels...]): one GoogleTest
# executable from every .cpp in the current tests folder; each TEST becomes
# its own ctest case.
function(qx_test_folder name)
  cmake_parse_arguments(ARG "" "" "DEPS;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(test_${name} ${sources})
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} qx_testkit GTest::gtest_main GTest::gmock)
  set_target_properties(test_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  qx_test_compile_flags(test_${name})
  target_precompile_headers(test_${name} REUSE_FROM qx_testkit)
  if(NOT ARG_LABELS)
    set(ARG_LABELS unit)
  endif()
  if("unit" IN_LIST ARG_LABELS)
    set_property(GLOBAL APPEND PROPERTY QX_UNIT_TEST_TARGETS test_${name})
  endif()
  gtest_discover_tests(test_${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "QUARNIX_NO_DIALOG=1;QX_SOURCE_DIR=${PROJECT_SOURCE_DIR};QX_BIN_DIR=${QX_BIN_DIR}"
    DISCOVERY_TIMEOUT 60)
endfunction()
