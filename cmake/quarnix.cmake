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

# qx_test_folder(<name> [DEPS libs...] [LABELS labels...]): one GoogleTest
# executable from every .cpp in the current tests folder; each TEST becomes
# its own ctest case.
function(qx_test_folder name)
  cmake_parse_arguments(ARG "" "" "DEPS;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(test_${name} ${sources})
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} qx_testkit GTest::gtest_main GTest::gmock)
  set_target_properties(test_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(NOT ARG_LABELS)
    set(ARG_LABELS unit)
  endif()
  gtest_discover_tests(test_${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "QUARNIX_NO_DIALOG=1;QX_SOURCE_DIR=${PROJECT_SOURCE_DIR};QX_BIN_DIR=${QX_BIN_DIR}"
    DISCOVERY_TIMEOUT 60)
endfunction()
