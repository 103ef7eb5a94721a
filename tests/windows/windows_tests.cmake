# The Windows tests under CTest: each program runs under Wine in this tree's
# own prefix (scripts/wine-program.sh, the cross-compiling emulator). The
# DLL's registration is a fixture: registered before the tests that use it
# and unregistered after them. GoogleTest is built from the system's sources.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_SOURCE_DIR}/scripts/wine-program.sh
  ${orvessa_bits} ${CMAKE_CURRENT_BINARY_DIR}/wineprefix)
set(orvessa_expect_output ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/expect_output.cmake)
# A host path as the programs under Wine see it: drive Z: is the host's root.
function(orvessa_wine_path out path)
  string(REPLACE "/" "\\" path "${path}")
  set(${out} "Z:${path}" PARENT_SCOPE)
endfunction()

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

enable_testing()
include(GoogleTest)
add_test(NAME register COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} regsvr32 /s Orvessa.dll)
add_test(NAME unregister COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} regsvr32 /u /s Orvessa.dll)
set_tests_properties(register PROPERTIES FIXTURES_SETUP registered)
set_tests_properties(unregister PROPERTIES FIXTURES_CLEANUP registered)
gtest_discover_tests(orvessa_windows_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES FIXTURES_REQUIRED registered RESOURCE_LOCK wine_prefix)

# The script client under the script host of this bitness.
if(orvessa_bits EQUAL 64)
  set(orvessa_script_host AMD64)
else()
  set(orvessa_script_host x86)
endif()
orvessa_wine_path(client ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/client.vbs)
orvessa_wine_path(pictures ${CMAKE_CURRENT_SOURCE_DIR}/sample-pictures)
add_test(NAME script_client COMMAND ${CMAKE_COMMAND} "-DMATCH=client: host ${orvessa_script_host}"
  -P ${orvessa_expect_output} -- ${CMAKE_CROSSCOMPILING_EMULATOR} cscript //nologo ${client} ${pictures})

# The examples of docs/com-guide.md: each prints what its .out file holds.
orvessa_wine_path(picture ${CMAKE_CURRENT_SOURCE_DIR}/sample-pictures/chelsea-small.bmp)
file(GLOB orvessa_examples CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/docs/examples/*.vbs)
foreach(example ${orvessa_examples})
  get_filename_component(name ${example} NAME_WE)
  orvessa_wine_path(script ${example})
  add_test(NAME example_${name} COMMAND ${CMAKE_COMMAND}
    -DEXPECTED=${CMAKE_CURRENT_SOURCE_DIR}/docs/examples/${name}.out -P ${orvessa_expect_output} --
    ${CMAKE_CROSSCOMPILING_EMULATOR} cscript //nologo ${script} ${picture})
endforeach()
add_test(NAME example_com_client COMMAND ${CMAKE_COMMAND}
  -DEXPECTED=${CMAKE_CURRENT_SOURCE_DIR}/docs/examples/com_client.out -P ${orvessa_expect_output} --
  ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:com_client> ${picture})
get_property(orvessa_script_tests DIRECTORY PROPERTY TESTS)
list(REMOVE_ITEM orvessa_script_tests register unregister)
set_tests_properties(${orvessa_script_tests} PROPERTIES
  FIXTURES_REQUIRED registered RESOURCE_LOCK wine_prefix)
