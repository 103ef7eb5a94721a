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
target_include_directories(orvessa_windows_tests PRIVATE tests tests/windows src ${orvessa_gen})
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

# The examples of docs/com-guide.md that have an .out file: each prints what
# that file holds.
orvessa_wine_path(picture ${CMAKE_CURRENT_SOURCE_DIR}/sample-pictures/chelsea-small.bmp)
file(GLOB orvessa_examples CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/docs/examples/*.out)
foreach(expected ${orvessa_examples})
  get_filename_component(name ${expected} NAME_WE)
  set(example ${CMAKE_CURRENT_SOURCE_DIR}/docs/examples/${name}.vbs)
  if(EXISTS ${example})
    orvessa_wine_path(script ${example})
    set(run cscript //nologo ${script})
  else()
    set(run $<TARGET_FILE:${name}>)
  endif()
  add_test(NAME example_${name} COMMAND ${CMAKE_COMMAND} -DEXPECTED=${expected}
    -P ${orvessa_expect_output} -- ${CMAKE_CROSSCOMPILING_EMULATOR} ${run} ${picture})
endforeach()

# The round trips of docs/com-guide.md: the script and the C++ example (early
# and late bound) filter a BMP file and save the result, whose pixels must be
# those the Linux tool writes for the same file. The pictures: a sample, and
# a crop of it of odd width, whose rows end in pad bytes.
set(ORVESSA_LINUX_TOOL ${CMAKE_CURRENT_SOURCE_DIR}/build/native/orvessa CACHE FILEPATH
  "The Linux orvessa tool that the round trips are compared with")
set(round_trips ${CMAKE_CURRENT_BINARY_DIR}/round-trips)
add_test(NAME round_trip_pictures COMMAND convert
  ${CMAKE_CURRENT_SOURCE_DIR}/sample-pictures/chelsea-small.bmp -crop 47x31+0+0 +repage
  -type TrueColor BMP3:${round_trips}/odd.bmp)
set_tests_properties(round_trip_pictures PROPERTIES FIXTURES_SETUP round_trip_pictures)
file(MAKE_DIRECTORY ${round_trips})
orvessa_wine_path(filter_bmp ${CMAKE_CURRENT_SOURCE_DIR}/docs/examples/filter_bmp.vbs)
foreach(picture ${CMAKE_CURRENT_SOURCE_DIR}/sample-pictures/chelsea-small.bmp ${round_trips}/odd.bmp)
  get_filename_component(stem ${picture} NAME_WE)
  foreach(filter blur smooth)
    foreach(binding script early late)
      if(binding STREQUAL "script")
        set(run cscript //nologo ${filter_bmp} @IN@ @OUT@ ${filter})
      elseif(binding STREQUAL "early")
        set(run $<TARGET_FILE:round_trip> @IN@ @OUT@ ${filter})
      else()
        set(run $<TARGET_FILE:round_trip> @IN@ @OUT@ ${filter} late-bound)
      endif()
      set(name round_trip_${stem}_${filter}_${binding})
      add_test(NAME ${name} COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/round_trip.sh
        ${ORVESSA_LINUX_TOOL} ${filter} ${picture} ${round_trips} ${name} --
        ${CMAKE_CROSSCOMPILING_EMULATOR} ${run})
      list(APPEND round_trip_tests ${name})
    endforeach()
  endforeach()
endforeach()
get_property(orvessa_script_tests DIRECTORY PROPERTY TESTS)
list(REMOVE_ITEM orvessa_script_tests register unregister round_trip_pictures)
set_tests_properties(${orvessa_script_tests} PROPERTIES
  FIXTURES_REQUIRED registered RESOURCE_LOCK wine_prefix)
set_tests_properties(${round_trip_tests} PROPERTIES
  FIXTURES_REQUIRED "registered;round_trip_pictures")
