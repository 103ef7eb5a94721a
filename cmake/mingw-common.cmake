# What both mingw-w64 toolchain files share; they set ORVESSA_MINGW_PREFIX
# and CMAKE_SYSTEM_PROCESSOR first. The -posix flavour, so that GoogleTest
# (std::thread, std::mutex) builds too.
set(CMAKE_SYSTEM_NAME Windows)

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

# The C and C++ runtimes linked in, so that the binaries import system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
