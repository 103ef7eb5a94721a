# Cross-compiles the 64-bit Windows tree with mingw-w64:
#   cmake -S . -B build/windows64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
# The -posix flavour, so that GoogleTest (std::thread, std::mutex) builds too.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(ORVESSA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORVESSA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVESSA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVESSA_MINGW_PREFIX}-windres)
set(CMAKE_AR ${ORVESSA_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${ORVESSA_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${ORVESSA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# SSE2 is the x86-64 baseline, so float arithmetic never uses the x87 unit.
# The C and C++ runtimes linked in, so that the binaries import system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
