# What `cmake --install` puts where (GNUInstallDirs places), in two
# components: `tool` (the orvessa program and its manual page) and `dev` (the
# static libraries, the public headers, the CMake package and the pkg-config
# files). The Debian packages are cut along the same line (packaging.cmake).
# The libraries, the CMake package and the pkg-config files go to
# CMAKE_INSTALL_LIBDIR: lib/ under a plain prefix, lib/<multiarch triplet>/
# when configured for /usr on Debian (GNUInstallDirs; scripts/package.sh), so
# that packages of several architectures install side by side.
#
# The libraries are static only. The interface is C++ (std::string,
# std::u16string, exceptions), and a shared library would make every change
# of a class layout or an inline function an ABI break to version; the core
# is small, and the one shared face that callers need, Orvessa.dll, exists
# already. The archives are position-independent, so a caller may link them
# into a shared object of its own.
include(CMakePackageConfigHelpers)

set_target_properties(orvessa_core PROPERTIES OUTPUT_NAME orvessa EXPORT_NAME core)
set_target_properties(orvessa_platform PROPERTIES OUTPUT_NAME orvessa-platform EXPORT_NAME platform)

set(orvessa_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Orvessa)
set(orvessa_pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(TARGET orvessa)
  install(TARGETS orvessa RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
  install(FILES ${ORVESSA_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
endif()

# Two export files: the config reads the platform's only where the format
# libraries it links are found, so core alone needs none of them.
install(TARGETS orvessa_core EXPORT OrvessaCoreTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(TARGETS orvessa_platform EXPORT OrvessaPlatformTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(DIRECTORY include/orvessa ${ORVESSA_GENERATED_INCLUDE}/orvessa
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
foreach(export OrvessaCoreTargets OrvessaPlatformTargets)
  install(EXPORT ${export} NAMESPACE Orvessa:: DESTINATION ${orvessa_cmake_dir} COMPONENT dev)
endforeach()

configure_package_config_file(cmake/OrvessaConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/OrvessaConfig.cmake INSTALL_DESTINATION ${orvessa_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/OrvessaConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/OrvessaConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/OrvessaConfigVersion.cmake
  DESTINATION ${orvessa_cmake_dir} COMPONENT dev)

# pkg-config: orvessa (the core) and orvessa-platform (the Linux picture
# services, which bring in the format libraries). The files find their prefix from
# their own place, so an installed tree or package may be moved.
file(RELATIVE_PATH orvessa_pc_to_prefix
  /prefix/${orvessa_pkgconfig_dir} /prefix)
string(REGEX REPLACE "/$" "" orvessa_pc_to_prefix "${orvessa_pc_to_prefix}")
foreach(pc orvessa orvessa-platform)
  configure_file(cmake/${pc}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc DESTINATION ${orvessa_pkgconfig_dir}
    COMPONENT dev)
endforeach()
