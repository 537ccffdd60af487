# Compiles every narrow string literal to CP932, or stops the configuration.
# Sets TOVRA_CP932_OPTIONS (the options, also added to every target).
# The fuzzing build (TOVRA_BUILD_FUZZ, clang and libFuzzer) is the one
# exception: the page scanner it fuzzes holds no non-ASCII literal, and the
# build says so instead of passing silently.
include(CheckCXXSourceCompiles)

set(TOVRA_CP932_OPTIONS -finput-charset=UTF-8 -fexec-charset=CP932
    -isystem ${PROJECT_SOURCE_DIR}/cmake/cp932-shim)
set(CMAKE_REQUIRED_FLAGS "-std=c++20 ${TOVRA_CP932_OPTIONS}")
list(JOIN CMAKE_REQUIRED_FLAGS " " CMAKE_REQUIRED_FLAGS)
# "表" is 0x95 0x5C in CP932 (three bytes in UTF-8).
check_cxx_source_compiles([=[
static_assert(sizeof("表") == 3 && static_cast<unsigned char>("表"[0]) == 0x95 && "表"[1] == 0x5C);
int main() { return 0; }
]=] TOVRA_COMPILER_HAS_CP932_LITERALS)
unset(CMAKE_REQUIRED_FLAGS)

if(TOVRA_COMPILER_HAS_CP932_LITERALS)
  add_compile_options(${TOVRA_CP932_OPTIONS})
elseif(TOVRA_BUILD_FUZZ)
  message(STATUS "Fuzzing build: ${CMAKE_CXX_COMPILER_ID} keeps literals UTF-8; only the "
                 "page scanner's fuzz target is built")
else()
  message(FATAL_ERROR "${CMAKE_CXX_COMPILER_ID} ${CMAKE_CXX_COMPILER_VERSION} cannot compile "
                      "string literals to CP932 (-fexec-charset=CP932); Tovra needs GCC.")
endif()
