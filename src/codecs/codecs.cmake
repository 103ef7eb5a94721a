# The picture codecs: ours (BMP, ICO/CUR, PNM) and the format libraries
# behind the rest, each found the way its Debian package ships it.
find_package(PkgConfig REQUIRED)
pkg_check_modules(ORVESSA_FORMATS REQUIRED IMPORTED_TARGET
  libjpeg libpng16 libtiff-4 libwebp libwebpdemux libwebpmux)
find_package(GIF 5 REQUIRED)
file(GLOB orvessa_codec_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/codecs/*.cpp)
add_library(orvessa_codecs OBJECT ${orvessa_codec_sources})
orvessa_own(orvessa_codecs)
orvessa_in_rooms(orvessa_codecs)
target_link_libraries(orvessa_codecs PUBLIC PkgConfig::ORVESSA_FORMATS GIF::GIF)
set_target_properties(orvessa_codecs PROPERTIES POSITION_INDEPENDENT_CODE ON)
