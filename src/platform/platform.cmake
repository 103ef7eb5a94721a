# The portable platform services (Linux): libvips picture loading, encoding
# and streaming, and in-memory drawing surfaces. The Windows server brings its own.
if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(VIPS REQUIRED IMPORTED_TARGET vips>=8.13)
  add_library(orvessa_platform STATIC
    src/platform/dib_shape.cpp
    src/platform/handle_table.cpp
    src/platform/picture_files.cpp
    src/platform/picture_formats.cpp
    src/platform/vips_pictures.cpp
    src/platform/software_dc.cpp
    src/platform/linux_platform.cpp
  )
  target_include_directories(orvessa_platform PRIVATE src)
  # libvips stays behind the platform library's public headers; the tool,
  # which streams pictures through it, links it itself.
  target_link_libraries(orvessa_platform PUBLIC orvessa_core PRIVATE PkgConfig::VIPS)
  set_target_properties(orvessa_platform PROPERTIES POSITION_INDEPENDENT_CODE ON)
endif()
