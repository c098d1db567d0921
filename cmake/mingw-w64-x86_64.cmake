# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix): the POSIX
# thread model, in which std::thread and std::mutex work. The libraries come from build/windows/deps
# (scripts/windows-deps.sh); the programs run under Wine, which ctest and the test discovery use.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PAGEWASH_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PAGEWASH_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PAGEWASH_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PAGEWASH_MINGW_TRIPLE}-windres)

# GCC does not align the stack to 32 or 64 bytes on Windows (GCC bug 54412), yet spills AVX2 and
# AVX-512 registers with aligned moves, which fault there. The assembler turns them into unaligned
# moves, as fast on aligned addresses.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
# One file per program that runs on a bare Windows: the C, C++ and thread runtimes linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Headers, libraries and CMake packages only from the Windows dependencies and MinGW's own folder
# (where Wine's zlib1.dll lies), never from the Linux system; programs (nasm, wine) from the Linux system.
get_filename_component(PAGEWASH_WINDOWS_DIR ${CMAKE_CURRENT_LIST_DIR}/../build/windows ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH ${PAGEWASH_WINDOWS_DIR}/deps /usr/${PAGEWASH_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Wine in a prefix of its own, quiet, without offering to install Mono or Gecko.
find_program(PAGEWASH_WINE wine)
if(PAGEWASH_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEPREFIX=${PAGEWASH_WINDOWS_DIR}/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
      ${PAGEWASH_WINE})
endif()
