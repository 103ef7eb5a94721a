# The platform services behind platform/platform.hpp, one library per build:
# on Linux picture files (reading, writing, streaming on our threads) and in-memory
# drawing surfaces, on Windows GDI and OLE.
if(WIN32)
  set(orvessa_win32_libs ole32 oleaut32 uuid gdi32 user32 shlwapi advapi32)
  set(orvessa_win32_defs WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 UNICODE _UNICODE)
  add_library(orvessa_win32_platform STATIC
    src/platform/win32/win32_platform.cpp
    src/platform/win32/win32_picture.cpp
    src/platform/win32/win32_conversion_form.cpp
    src/object/default_pictava.cpp)
  orvessa_own(orvessa_win32_platform)
  target_compile_definitions(orvessa_win32_platform PUBLIC ${orvessa_win32_defs})
  target_link_libraries(orvessa_win32_platform PUBLIC orvessa_core ${orvessa_win32_libs})
else()
  add_library(orvessa_platform STATIC
    src/platform/linux/dib_shape.cpp
    src/platform/linux/handle_table.cpp
    src/platform/linux/picture_files.cpp
    src/platform/linux/picture_formats.cpp
    src/platform/linux/picture_stream.cpp
    src/platform/linux/picture_reading.cpp
    src/platform/linux/descriptor_bytes.cpp
    src/platform/linux/row_pipeline.cpp
    src/platform/linux/utf_text.cpp
    src/platform/linux/software_dc.cpp
    src/platform/linux/linux_platform.cpp
    src/platform/linux/output_file.cpp
    src/object/default_pictava.cpp
    src/jobs/picture_jobs.cpp
    src/jobs/gray_job.cpp
    src/jobs/batch_naming.cpp
    $<TARGET_OBJECTS:orvessa_codecs>)
  orvessa_own(orvessa_platform)
  # The codecs stay behind the platform library: its public headers need
  # none of them, so only the link brings them in.
  target_link_libraries(orvessa_platform PUBLIC orvessa_core PRIVATE PkgConfig::ORVESSA_FORMATS GIF::GIF)
  set_target_properties(orvessa_platform PROPERTIES POSITION_INDEPENDENT_CODE ON)
endif()
