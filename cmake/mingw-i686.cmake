# Cross toolchain for 32-bit Windows, the programs we release.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(INTRO_MINGW_TRIPLE i686-w64-mingw32)
# SSE2 arithmetic, never x87: the same rounding as the 64-bit Linux build.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
