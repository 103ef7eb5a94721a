# Cross-compiles the 64-bit Windows tree with mingw-w64:
#   cmake -S . -B build/windows64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
# SSE2 is the x86-64 baseline, so float arithmetic never uses the x87 unit.
set(ORVESSA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
