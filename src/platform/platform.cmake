# The platform services behind platform/platform.hpp, one library per build:
# on Linux libvips picture files (loading, encoding, streaming) and in-memory
# drawing surfaces, on Windows GDI and OLE.
if(WIN32)
  set(orvessa_win32_libs ole32 oleaut32 uuid gdi32 user32 shlwapi advapi32)
  set(orvessa_win32_defs WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 UNICODE _UNICODE)
  add_library(orvessa_win32_platform STATIC
    src/platform/win32/win32_platform.cpp
    src/platform/win32/win32_picture.cpp
    src/platform/win32/win32_conversion_form.cpp)
  orvessa_own(orvessa_win32_platform)
  target_compile_definitions(orvessa_win32_platform PUBLIC ${orvessa_win32_defs})
  target_link_libraries(orvessa_win32_platform PUBLIC orvessa_core ${orvessa_win32_libs})
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(VIPS REQUIRED IMPORTED_TARGET vips>=8.13)
  add_library(orvessa_platform STATIC
    src/platform/linux/dib_shape.cpp
    src/platform/linux/handle_table.cpp
    src/platform/linux/picture_files.cpp
    src/platform/linux/picture_formats.cpp
    src/platform/linux/picture_stream.cpp
    src/platform/linux/vips_pictures.cpp
    src/platform/linux/software_dc.cpp
    src/platform/linux/linux_platform.cpp
    src/platform/linux/output_file.cpp
    src/jobs/picture_jobs.cpp
    src/jobs/gray_job.cpp
    $<TARGET_OBJECTS:orvessa_codecs>)
  orvessa_own(orvessa_platform)
  # libvips stays behind the platform library: its public headers need none
  # of it, so only the link brings it in.
  target_link_libraries(orvessa_platform PUBLIC orvessa_core PRIVATE PkgConfig::VIPS)
  set_target_properties(orvessa_platform PROPERTIES POSITION_INDEPENDENT_CODE ON)
endif()
