# Cross-builds the Windows programs on Debian with mingw-w64 (the POSIX
# threads flavour, which std::thread needs). The runtime is linked in
# statically so the .exe files run on a bare Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BREVIK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BREVIK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BREVIK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${BREVIK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BREVIK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and programs the build itself runs go through Wine.
# Tests run through Wine (tools/test-windows.sh sets up a safe one).
find_program(BREVIK_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(BREVIK_WINE64 NAMES wine64 wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${BREVIK_WINE64})
