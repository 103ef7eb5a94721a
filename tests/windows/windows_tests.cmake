# The Windows test program, cross-built and run under Wine by
# scripts/test-windows.sh. GoogleTest is built from the system's sources.
set(ORVESSA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${ORVESSA_GTEST_SOURCE} ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB orvessa_windows_test_sources CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/*_test.cpp)
add_executable(orvessa_windows_tests ${orvessa_windows_test_sources}
  ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/com_test_support.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/canvas.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/server/dispatch_table.cpp)
orvessa_own(orvessa_windows_tests)
target_include_directories(orvessa_windows_tests PRIVATE tests tests/windows ${orvessa_gen})
target_link_libraries(orvessa_windows_tests PRIVATE
  orvessa_win32_platform orvessa_idl_ids gtest_main version)
target_link_options(orvessa_windows_tests PRIVATE -static)
target_compile_definitions(orvessa_windows_tests PRIVATE
  ORVESSA_PICTURES="${CMAKE_CURRENT_SOURCE_DIR}/sample-pictures")
add_dependencies(orvessa_windows_tests Orvessa)
