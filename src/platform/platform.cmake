# The portable platform services (Linux): gdk-pixbuf picture loading and
# in-memory drawing surfaces. The Windows server brings its own.
if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(GDK_PIXBUF REQUIRED IMPORTED_TARGET gdk-pixbuf-2.0)
  add_library(orvessa_platform STATIC
    src/platform/linux/dib_shape.cpp
    src/platform/linux/handle_table.cpp
    src/platform/linux/pixbuf_files.cpp
    src/platform/linux/software_dc.cpp
    src/platform/linux/linux_platform.cpp
  )
  target_include_directories(orvessa_platform PRIVATE src)
  # gdk-pixbuf stays behind the platform library: its headers need none of
  # it, so only the link brings it in.
  target_link_libraries(orvessa_platform PUBLIC orvessa_core PRIVATE PkgConfig::GDK_PIXBUF)
  set_target_properties(orvessa_platform PROPERTIES POSITION_INDEPENDENT_CODE ON)
endif()
