# Cross-compiles for 64-bit Windows with mingw-w64. The product uses the win32-thread compilers:
# their runtime imports nothing newer than XP x64, where the posix-thread runtime (winpthreads)
# imports GetTickCount64. mingw-w64-x86_64-posix.cmake picks the posix-thread ones instead.
if(NOT DEFINED TIDEWELL_MINGW_THREADS)
    set(TIDEWELL_MINGW_THREADS win32)
endif()

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-${TIDEWELL_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-${TIDEWELL_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
