# Cross toolchain for 32-bit Windows: Debian's mingw-w64 for i686, the
# posix-thread variant, so std::thread and std::mutex work.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(INTRO_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${INTRO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${INTRO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${INTRO_MINGW_TRIPLE}-windres)
set(CMAKE_ASM_COMPILER ${INTRO_MINGW_TRIPLE}-gcc-posix)

# SSE2 arithmetic, never x87: the same rounding as the 64-bit Linux build.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
# No DLL beyond those Windows ships: libgcc, libstdc++ and winpthread linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Libraries come from the toolchain's own folder and the prefixes given in
# CMAKE_PREFIX_PATH (the cross-built GLFW and FreeType); programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${INTRO_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
