# GoogleTest from Debian's googletest source package, built with the project's own compiler so that the
# native, sanitizer and mingw builds all test with the same version.
set(QUILLON_GOOGLETEST_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources (Debian package googletest)")
if(NOT EXISTS "${QUILLON_GOOGLETEST_DIR}/googletest/CMakeLists.txt")
  message(FATAL_ERROR "GoogleTest sources not found in ${QUILLON_GOOGLETEST_DIR}: run scripts/setup first")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory("${QUILLON_GOOGLETEST_DIR}/googletest" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
