# Build helpers shared by every folder.

# Collects the .cpp files of DIR for the target platform: foo_posix.cpp builds
# everywhere but Windows, foo_win32.cpp only on Windows, anything else always.
function(kovun_platform_sources out_var dir)
  file(GLOB srcs CONFIGURE_DEPENDS "${dir}/*.cpp")
  if(WIN32)
    list(FILTER srcs EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER srcs EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  set(${out_var} ${srcs} PARENT_SCOPE)
endfunction()

# GoogleTest from Debian's source package, built with this tree's compiler and
# flags, so the native, sanitizer and MinGW builds all use the same sources.
macro(kovun_setup_gtest)
  set(KOVUN_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${KOVUN_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  include(GoogleTest)
  if(WIN32)
    # Under Wine every test program runs inside one prepared prefix and one
    # virtual X server; the fixture tests start and stop them.
    set(KOVUN_WINE_RUN "${CMAKE_SOURCE_DIR}/cmake/wine-test.sh")
    add_test(NAME wine_setup COMMAND ${KOVUN_WINE_RUN} setup ${CMAKE_BINARY_DIR})
    add_test(NAME wine_cleanup COMMAND ${KOVUN_WINE_RUN} cleanup ${CMAKE_BINARY_DIR})
    set_tests_properties(wine_setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 600)
    set_tests_properties(wine_cleanup PROPERTIES FIXTURES_CLEANUP wine)
  endif()
endmacro()

# One test program from the *_test.cpp files of DIR, linked with LIBS.
function(kovun_add_test_dir name dir)
  file(GLOB srcs CONFIGURE_DEPENDS "${dir}/*_test.cpp")
  if(WIN32)
    list(FILTER srcs EXCLUDE REGEX "_posix_test\\.cpp$")
  else()
    list(FILTER srcs EXCLUDE REGEX "_win32_test\\.cpp$")
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gmock_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  if(WIN32)
    add_test(NAME ${name} COMMAND ${KOVUN_WINE_RUN} run ${CMAKE_BINARY_DIR} $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 900)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                         PROPERTIES ENVIRONMENT "KOVUN_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  endif()
endfunction()

# The header-only libraries from Debian's packages, as targets for every
# build: nlohmann_json::nlohmann_json and kovun_httplib (cpp-httplib).
# Debian's libcpp-httplib-dev splits cpp-httplib: /usr/include/httplib.h
# holds only the declarations, the code is in libcpp-httplib.so. Linux links
# that library; the MinGW build takes the one full header of the same version
# that scripts/deps.sh (kovun_httplib_header) unpacks from Debian's source
# package. The MinGW build can't search /usr/include (it holds the Linux C
# library's headers), so it takes copies of just these headers into the
# build tree.
macro(kovun_setup_header_libraries)
  if(WIN32)
    set(KOVUN_HTTPLIB_HEADER "/usr/local/share/kovun/cpp-httplib/httplib.h" CACHE FILEPATH
        "cpp-httplib's full single header (scripts/deps.sh: kovun_httplib_header)")
    if(NOT EXISTS "${KOVUN_HTTPLIB_HEADER}")
      message(FATAL_ERROR "${KOVUN_HTTPLIB_HEADER} is missing: run "
                          "'. scripts/deps.sh && kovun_httplib_header' as root")
    endif()
    set(KOVUN_THIRD_PARTY_INCLUDE "${CMAKE_BINARY_DIR}/third_party/include")
    file(COPY /usr/include/nlohmann DESTINATION "${KOVUN_THIRD_PARTY_INCLUDE}")
    file(COPY "${KOVUN_HTTPLIB_HEADER}" DESTINATION "${KOVUN_THIRD_PARTY_INCLUDE}")
    add_library(kovun_nlohmann_json INTERFACE)
    target_include_directories(kovun_nlohmann_json SYSTEM INTERFACE "${KOVUN_THIRD_PARTY_INCLUDE}")
    add_library(nlohmann_json::nlohmann_json ALIAS kovun_nlohmann_json)
    add_library(kovun_httplib INTERFACE)
    target_include_directories(kovun_httplib SYSTEM INTERFACE "${KOVUN_THIRD_PARTY_INCLUDE}")
    target_link_libraries(kovun_httplib INTERFACE ws2_32)
  else()
    find_package(nlohmann_json REQUIRED)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET GLOBAL cpp-httplib)
    add_library(kovun_httplib INTERFACE)
    target_link_libraries(kovun_httplib INTERFACE PkgConfig::HTTPLIB)
  endif()
endmacro()
