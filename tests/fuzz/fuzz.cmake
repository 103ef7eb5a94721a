# Fuzz targets (clang's libFuzzer, with AddressSanitizer and
# UndefinedBehaviorSanitizer). scripts/fuzz.sh (which scripts/test.sh runs)
# configures them in build/fuzz with -DORVESSA_FUZZ=ON and clang; every other
# file of the project is then built instrumented too.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "ORVESSA_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
endif()

set(fuzz_dir ${CMAKE_CURRENT_SOURCE_DIR}/tests/fuzz)
function(orvessa_fuzz_target name)
  add_executable(${name} ${fuzz_dir}/${name}.cpp ${ARGN})
  orvessa_own(${name})
  target_include_directories(${name} PRIVATE tools src ${fuzz_dir})
  target_link_libraries(${name} PRIVATE orvessa_core orvessa_platform)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

orvessa_fuzz_target(filters_fuzz)
orvessa_fuzz_target(picture_fuzz)
# The whole tool without its main(): libFuzzer brings its own.
orvessa_fuzz_target(args_fuzz tools/main.cpp ${ORVESSA_CLI_SOURCES})
target_compile_definitions(args_fuzz PRIVATE ORVESSA_CLI_NO_MAIN=1)
orvessa_fuzz_target(codecs_fuzz)
