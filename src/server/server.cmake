# Orvessa.dll, the in-process automation server, and its tests under Wine.
# Included by the top-level CMakeLists.txt in the Windows trees
# (cmake/mingw-i686.cmake, cmake/mingw-x86_64.cmake): one source, built for
# 32-bit or 64-bit Windows.
enable_language(C RC)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(orvessa_bits 64)
  set(orvessa_mingw x86_64-w64-mingw32)
  set(orvessa_wine_arch x86_64-linux-gnu/wine/x86_64-windows)
  set(orvessa_manifest_arch amd64)
else()
  set(orvessa_bits 32)
  set(orvessa_mingw i686-w64-mingw32)
  set(orvessa_wine_arch i386-linux-gnu/wine/i386-windows)
  set(orvessa_manifest_arch x86)
endif()

find_program(ORVESSA_WIDL NAMES ${orvessa_mingw}-widl widl REQUIRED)
find_path(ORVESSA_WINE_IDL_DIR oaidl.idl
  PATHS /usr/include/wine/wine/windows /usr/include/wine/windows
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(ORVESSA_STDOLE_DIR stdole2.tlb
  PATHS /usr/lib/${orvessa_wine_arch} /usr/lib/wine/i386-windows /usr/lib/i386-linux-gnu/wine
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)

# The IDL is the one source of the interface: header, identifiers, type
# library (for the build's own target, win32 or win64) and assembly manifest.
set(orvessa_idl ${CMAKE_CURRENT_SOURCE_DIR}/src/server/orvessa.idl)
set(orvessa_gen ${CMAKE_CURRENT_BINARY_DIR}/generated)
set(orvessa_widl ${ORVESSA_WIDL} --win${orvessa_bits} -I ${ORVESSA_WINE_IDL_DIR} -L ${ORVESSA_STDOLE_DIR})
add_custom_command(
  OUTPUT ${orvessa_gen}/server/orvessa_idl.h ${orvessa_gen}/server/orvessa_idl_i.c
         ${orvessa_gen}/Orvessa.tlb
  COMMAND ${CMAKE_COMMAND} -E make_directory ${orvessa_gen}/server
  COMMAND ${orvessa_widl} -h -o ${orvessa_gen}/server/orvessa_idl.h ${orvessa_idl}
  COMMAND ${orvessa_widl} -u -o ${orvessa_gen}/server/orvessa_idl_i.c ${orvessa_idl}
  COMMAND ${orvessa_widl} -t -o ${orvessa_gen}/Orvessa.tlb ${orvessa_idl}
  DEPENDS ${orvessa_idl}
  COMMENT "Generating the Orvessa type library and interface header")

# The assembly manifest for registration-free use: embedded as the DLL's
# manifest resource and written beside the DLL as Orvessa.manifest.
set(orvessa_manifest ${CMAKE_CURRENT_BINARY_DIR}/Orvessa.manifest)
add_custom_command(
  OUTPUT ${orvessa_manifest}
  COMMAND ${CMAKE_COMMAND} -DIDL=${orvessa_idl}
          -DTEMPLATE=${CMAKE_CURRENT_SOURCE_DIR}/src/server/Orvessa.manifest.in
          -DOUTPUT=${orvessa_manifest} -DVERSION=${PROJECT_VERSION}
          -DARCHITECTURE=${orvessa_manifest_arch}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/orvessa_manifest.cmake
  DEPENDS ${orvessa_idl} ${CMAKE_CURRENT_SOURCE_DIR}/src/server/Orvessa.manifest.in
          ${CMAKE_CURRENT_SOURCE_DIR}/cmake/orvessa_manifest.cmake
  COMMENT "Generating the Orvessa assembly manifest")
add_custom_target(orvessa_idl DEPENDS ${orvessa_gen}/server/orvessa_idl.h ${orvessa_gen}/Orvessa.tlb
  ${orvessa_manifest})

# The identifiers of the type library, shared by the server and its tests.
add_library(orvessa_idl_ids STATIC ${orvessa_gen}/server/orvessa_idl_i.c)
add_dependencies(orvessa_idl_ids orvessa_idl)
target_include_directories(orvessa_idl_ids PUBLIC ${orvessa_gen})

add_library(Orvessa SHARED
  src/server/server_module.cpp
  src/server/class_factory.cpp
  src/server/registration.cpp
  src/server/pictava_object.cpp
  src/server/dispatch.cpp
  src/server/dispatch_table.cpp
  src/server/com_error.cpp
  src/server/locked_byte_array.cpp
  src/server/orvessa.rc
  src/server/orvessa.def)
set_target_properties(Orvessa PROPERTIES PREFIX "" OUTPUT_NAME Orvessa)
orvessa_own(Orvessa)
orvessa_in_rooms(Orvessa)
target_include_directories(Orvessa PRIVATE ${orvessa_gen})
target_link_libraries(Orvessa PRIVATE orvessa_win32_platform orvessa_idl_ids)
# No link time in the PE header: a rebuild of the same source is byte-identical.
target_link_options(Orvessa PRIVATE -static -Wl,--enable-stdcall-fixup -Wl,--no-insert-timestamp
  $<$<CONFIG:Release>:-s>)
set_source_files_properties(src/server/orvessa.rc PROPERTIES
  OBJECT_DEPENDS "${orvessa_gen}/Orvessa.tlb;${orvessa_manifest}")
target_include_directories(Orvessa PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
add_dependencies(Orvessa orvessa_idl)

if(ORVESSA_BUILD_TESTS)
  include(tests/windows/windows_tests.cmake)
endif()

# The demonstration's client program (scripts/demo-windows.sh).
add_executable(orvessa_demo_client tools/windows/demo_client.cpp)
orvessa_own(orvessa_demo_client)
orvessa_face(orvessa_demo_client SEES platform/win32/win32_raii.hpp)
target_compile_definitions(orvessa_demo_client PRIVATE ${orvessa_win32_defs})
target_link_libraries(orvessa_demo_client PRIVATE orvessa_idl_ids ${orvessa_win32_libs})
target_link_options(orvessa_demo_client PRIVATE -static -municode)
add_dependencies(orvessa_demo_client Orvessa)
