# Cross toolchain for 64-bit Windows: the same sources as the 32-bit release,
# for running the Windows checks under wine on a machine whose kernel cannot
# start 32-bit programs (wine's 32-bit loader is one).
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(INTRO_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
