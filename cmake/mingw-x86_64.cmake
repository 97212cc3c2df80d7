# 64-bit Windows: the same sources, for running the Windows tests under 64-bit Wine.
set(QUILLON_MINGW_TRIPLE x86_64-w64-mingw32)
set(QUILLON_MINGW_ARCH AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
