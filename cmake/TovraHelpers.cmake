# tovra_add_core_library(NAME SOURCES... DEPENDS libs...)
# One static library per core subsystem; all of them together form tovra_core.
function(tovra_add_core_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  if(ARG_DEPENDS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  endif()
endfunction()

# tovra_add_test(NAME SOURCES... LIBS libs...)
# One GoogleTest executable per unit group, registered with CTest.
function(tovra_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} tovra_test_support GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "TOVRA_SOURCE_DIR=${PROJECT_SOURCE_DIR};TOVRA_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()
