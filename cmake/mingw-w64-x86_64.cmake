# Cross compiling for 64-bit Windows with Debian's MinGW-w64 (package g++-mingw-w64-x86-64-posix).
# The posix threads model is the one whose libstdc++ has std::thread, which the resampler uses.
#   cmake --preset windows && cmake --build --preset windows
# The test programs and tonecast.exe then run under wine (.ci/windows.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TONECAST_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TONECAST_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TONECAST_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TONECAST_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TONECAST_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked in: a program that needs libstdc++-6.dll or libwinpthread-1.dll beside it
# does not start on a machine without them, and under wine it ends without a word.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Lets ctest (and gtest_discover_tests) run the Windows programs on this machine.
find_program(TONECAST_WINE wine)
if(TONECAST_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TONECAST_WINE})
endif()
