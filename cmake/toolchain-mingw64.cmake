# Cross-build for 64-bit Windows with mingw-w64; the programs run under wine.
#
#   cmake --preset windows        (or -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake)
#
# ctest starts every test program through cmake/wine-run.sh, which keeps a
# wine prefix of its own inside the build tree.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KUT_MINGW_TRIPLE x86_64-w64-mingw32 CACHE STRING "mingw-w64 target triple")
# The posix thread model: GoogleTest needs std::mutex, which the win32 model
# of this compiler generation lacks.
set(CMAKE_C_COMPILER ${KUT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KUT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KUT_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${KUT_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${KUT_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${KUT_MINGW_TRIPLE}-objdump CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${KUT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own run-time (libgcc, libstdc++, winpthread) goes into each
# binary, so that wine needs nothing but our three DLLs next to the programs.
# -static only changes how -l libraries are searched: our DLLs are still
# linked through their import libraries.
set(KUT_MINGW_STATIC_RUNTIME "-static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${KUT_MINGW_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${KUT_MINGW_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${KUT_MINGW_STATIC_RUNTIME}")

# Every test program runs under wine, in a prefix below the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${CMAKE_BINARY_DIR}/wineprefix")
