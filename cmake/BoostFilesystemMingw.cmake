# Boost.Filesystem for the mingw builds. Debian ships no Boost built for Windows, so the ten sources of
# Debian's own boost1.74 source package (unpacked by scripts/setup) are compiled here as a static library.
# The headers are Debian's /usr/include/boost (the same 1.74), reached through a folder that holds only a
# link named "boost": /usr/include itself must never be on the cross compiler's search path.

set(QUILLON_BOOST_SOURCE_DIR "/usr/local/src/quillon-boost1.74" CACHE PATH
    "Unpacked boost1.74 source package (at least libs/filesystem/src); scripts/setup provides it")

set(_boost_src "${QUILLON_BOOST_SOURCE_DIR}/libs/filesystem/src")
if(NOT EXISTS "${_boost_src}/operations.cpp")
  message(FATAL_ERROR "Boost.Filesystem sources not found in ${_boost_src}: run scripts/setup first")
endif()
if(NOT EXISTS "/usr/include/boost/filesystem.hpp")
  message(FATAL_ERROR "Boost headers not found in /usr/include/boost: run scripts/setup first")
endif()

set(_boost_headers "${CMAKE_BINARY_DIR}/boost-headers")
file(MAKE_DIRECTORY "${_boost_headers}")
file(CREATE_LINK "/usr/include/boost" "${_boost_headers}/boost" SYMBOLIC)

file(GLOB _boost_filesystem_sources CONFIGURE_DEPENDS "${_boost_src}/*.cpp")
add_library(boost_filesystem STATIC ${_boost_filesystem_sources})
target_include_directories(boost_filesystem SYSTEM PUBLIC "${_boost_headers}")
target_compile_definitions(boost_filesystem
  PUBLIC BOOST_FILESYSTEM_STATIC_LINK=1 BOOST_ALL_NO_LIB BOOST_SYSTEM_NO_DEPRECATED
  PRIVATE BOOST_FILESYSTEM_SOURCE)
target_compile_options(boost_filesystem PRIVATE -w)
target_link_libraries(boost_filesystem PUBLIC advapi32)
add_library(Boost::filesystem ALIAS boost_filesystem)
