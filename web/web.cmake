# The WebAssembly modules and the npm package `orvessa`. Two modules of the
# same code: orvessa-simd.wasm with the 128-bit SIMD path, orvessa.wasm
# without any SIMD instruction for engines that lack it. Each is standalone
# (no generated JavaScript): the package's entries instantiate it. One thread.
set(orvessa_web_sources
  ${ORVESSA_CORE_SOURCES}
  src/platform/web/web_platform.cpp
  src/object/default_pictava.cpp
  web/src/exports.cpp
  web/src/rgba_pixels.cpp)
set(orvessa_web_link_options
  -fwasm-exceptions --no-entry -sSTANDALONE_WASM -sALLOW_MEMORY_GROWTH=1
  -sMAXIMUM_MEMORY=4GB -sERROR_ON_UNDEFINED_SYMBOLS=1
  # binaryen at -O3 gives other bytes in another folder (its local
  # coalescing depends on memory addresses); -O2 is as fast here and the same.
  -O2)

function(orvessa_web_module target output)
  add_executable(${target} ${orvessa_web_sources} ${ARGN})
  orvessa_own(${target})
  orvessa_face(${target} SEES ${orvessa_object_headers} convert/fit_to_box.hpp
    convert/gray_rule.hpp platform/web/web_platform.hpp)
  target_include_directories(${target} PRIVATE ${ORVESSA_GENERATED_INCLUDE})
  target_compile_options(${target} PRIVATE -fwasm-exceptions)
  target_link_options(${target} PRIVATE ${orvessa_web_link_options})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output} SUFFIX ".wasm")
endfunction()

orvessa_web_module(orvessa_wasm orvessa)
orvessa_web_module(orvessa_wasm_simd orvessa-simd
  src/filters/blur_sse2.cpp src/filters/median_cut_simd128.cpp)
target_compile_options(orvessa_wasm_simd PRIVATE -msimd128)
target_compile_definitions(orvessa_wasm_simd PRIVATE ORVESSA_WASM_SIMD_KERNELS=1)
# The SSE2 kernels compile to WebAssembly SIMD through the compiler's headers.
set_property(SOURCE src/filters/blur_sse2.cpp src/filters/median_cut_simd128.cpp
  APPEND PROPERTY COMPILE_OPTIONS -msse2)

# The package: package.json with the project's version as semver (1.0.0.9
# is 1.0.9), the entries (browsers, Node) and their core, the declarations,
# both modules, README, licence.
set(ORVESSA_NPM_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_TWEAK}")
set(orvessa_package_dir ${PROJECT_BINARY_DIR}/package)
configure_file(web/package.json.in ${orvessa_package_dir}/package.json @ONLY)
add_custom_target(orvessa_npm_package ALL
  COMMAND ${CMAKE_COMMAND} -E copy_if_different
    ${PROJECT_SOURCE_DIR}/web/js/orvessa.js ${PROJECT_SOURCE_DIR}/web/js/orvessa-node.js
    ${PROJECT_SOURCE_DIR}/web/js/orvessa-core.js ${PROJECT_SOURCE_DIR}/web/js/orvessa.d.ts
    ${PROJECT_SOURCE_DIR}/web/README.md ${PROJECT_SOURCE_DIR}/LICENSE
    $<TARGET_FILE:orvessa_wasm> $<TARGET_FILE:orvessa_wasm_simd>
    ${orvessa_package_dir}
  DEPENDS orvessa_wasm orvessa_wasm_simd web/js/orvessa.js web/js/orvessa-node.js web/js/orvessa-core.js
    web/js/orvessa.d.ts web/README.md
  COMMENT "The npm package in ${orvessa_package_dir}")

# The modules compile the core's sources themselves, with exceptions that
# WebAssembly catches; the plain core library is not needed here.
set_target_properties(orvessa_core PROPERTIES EXCLUDE_FROM_ALL ON)
