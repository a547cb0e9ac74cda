# Shared by the mingw-w64 cross toolchains: Debian's posix-thread variant, so
# std::thread and std::mutex work. The including file sets INTRO_MINGW_TRIPLE
# and CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${INTRO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${INTRO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${INTRO_MINGW_TRIPLE}-windres)
set(CMAKE_ASM_COMPILER ${INTRO_MINGW_TRIPLE}-gcc-posix)

# No DLL beyond those Windows ships: libgcc, libstdc++ and winpthread linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Libraries come from the toolchain's own folder and the prefixes given in
# CMAKE_PREFIX_PATH (the cross-built GLFW and FreeType); programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${INTRO_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
