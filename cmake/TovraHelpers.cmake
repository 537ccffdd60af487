# tovra_add_core_library(NAME SOURCES... DEPENDS libs...)
# One static library per core subsystem; all of them together form tovra_core.
function(tovra_add_core_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  # Subsystems are added in dependency order; one that has no sources yet is
  # simply not linked.
  foreach(dep ${ARG_DEPENDS})
    if(TARGET ${dep})
      target_link_libraries(${name} PUBLIC ${dep})
    endif()
  endforeach()
endfunction()

# tovra_add_test(NAME SOURCES... LIBS libs...)
# One GoogleTest executable per unit group, registered with CTest.
function(tovra_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} tovra_test_support GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()

# tovra_add_core_folder(NAME DEPENDS libs...)
# A core subsystem library from every .cpp file of the current folder.
function(tovra_add_core_folder name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    tovra_add_core_library(${name} SOURCES ${sources} DEPENDS ${ARG_DEPENDS})
  endif()
endfunction()

# tovra_add_test_folder(NAME LIBS libs...)
# One test executable from every *_test.cpp of the current folder; skipped
# while a library it needs does not exist yet.
function(tovra_add_test_folder name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(lib ${ARG_LIBS})
    if(NOT TARGET ${lib})
      return()
    endif()
  endforeach()
  if(sources)
    tovra_add_test(${name} SOURCES ${sources} LIBS ${ARG_LIBS})
  endif()
endfunction()
