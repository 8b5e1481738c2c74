# The 32-bit x86 program: the one administrators deploy on 32-bit and 64-bit Windows alike.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
