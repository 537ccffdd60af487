# tovra_add_core_library(NAME SOURCES... DEPENDS libs...)
# One static library per core subsystem; all of them together form tovra_core.
function(tovra_add_core_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
endfunction()

# Labels: every test carries its folder's name (`ctest -L ftp`); tests that
# start a real FTP server carry "integration" (so do all of tests/cli, which run tovra-cli),
# the window tests "gui", and tests that build the program afresh "slow"
# (`ctest -LE 'slow|integration|gui'` is the quick unit loop).
set(TOVRA_INTEGRATION_TESTS "RealServer*:*Pyftpd*")
# Suites named Slow* are left out of both: a folder registers them itself
# with the label "slow" (see tests/upload).
set(TOVRA_SLOW_TESTS "Slow*")
# No test reaches the desktop's own keyring: the session bus is one that
# nothing listens on, unless a test starts a private one (KeyringSession).
set(TOVRA_TEST_ENVIRONMENT "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/tovra-test-bus")

# tovra_add_test(NAME SOURCES... LIBS libs...)
# One GoogleTest executable per unit group, registered with CTest.
function(tovra_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} tovra_test_support GTest::gtest_main)
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set_property(DIRECTORY APPEND PROPERTY LABELS ${folder})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "-${TOVRA_INTEGRATION_TESTS}:${TOVRA_SLOW_TESTS}"
    PROPERTIES ENVIRONMENT "${TOVRA_TEST_ENVIRONMENT}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "${TOVRA_INTEGRATION_TESTS}-${TOVRA_SLOW_TESTS}"
    PROPERTIES LABELS integration ENVIRONMENT "${TOVRA_TEST_ENVIRONMENT}")
endfunction()

# tovra_add_core_folder(NAME DEPENDS libs...)
# A core subsystem library from every .cpp file of the current folder.
function(tovra_add_core_folder name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  tovra_add_core_library(${name} SOURCES ${sources} DEPENDS ${ARG_DEPENDS})
endfunction()

# tovra_add_test_folder(NAME LIBS libs...)
# One test executable from every *_test.cpp of the current folder.
function(tovra_add_test_folder name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  tovra_add_test(${name} SOURCES ${sources} LIBS ${ARG_LIBS})
endfunction()
