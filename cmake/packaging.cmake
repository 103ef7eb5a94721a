# Packages (CPack), made by scripts/package.sh:
#  - on Linux, two Debian packages cut along the install components:
#    `orvessa` (the tool and its manual page; dependencies from
#    dpkg-shlibdeps) and `liborvessa-dev` (static libraries, headers, CMake
#    and pkg-config files; it depends on libvips' development package,
#    which the platform library links and the CMake package looks up);
#    with the Python package built, also `python3-orvessa` (python/python.cmake);
#  - in a Windows tree, the zip of Orvessa.dll: x86/ or x64/ by the tree's
#    bitness, with the manifest beside the DLL, the
#    guide for Windows users, the guide for COM callers with its examples
#    and a small picture to try them on, and the interface header for C++
#    callers. scripts/package.sh
#    gathers the 32- and 64-bit trees into one zip.
# Installing and packaging take what is built; they do not build every test
# and benchmark first (scripts/package.sh builds the targets they need).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_PACKAGE_NAME Orvessa)
set(CPACK_PACKAGE_VENDOR Orvessa)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Orvessa developers")

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(orvessa_bitness x64)
  else()
    set(orvessa_bitness x86)
  endif()
  if(TARGET Orvessa)
    install(FILES $<TARGET_FILE:Orvessa> DESTINATION ${orvessa_bitness} COMPONENT windows)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/Orvessa.manifest DESTINATION ${orvessa_bitness}
      COMPONENT windows)
  endif()
  # Windows line ends for the text a Windows user opens first.
  configure_file(docs/windows/README.txt ${CMAKE_CURRENT_BINARY_DIR}/README.txt @ONLY
    NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt docs/com-guide.md DESTINATION .
    COMPONENT windows)
  if(TARGET orvessa_idl)
    install(FILES ${orvessa_gen}/server/orvessa_idl.h DESTINATION include COMPONENT windows)
  endif()
  file(GLOB orvessa_script_examples docs/examples/*.vbs)
  install(FILES ${orvessa_script_examples} docs/examples/com_client.cpp docs/examples/round_trip.cpp
    sample-pictures/chelsea-small.bmp DESTINATION examples COMPONENT windows)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_COMPONENTS_ALL windows)
  set(CPACK_PACKAGE_FILE_NAME Orvessa-${ORVESSA_VERSION_TEXT}-windows)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL tool dev)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Orvessa developers")
  set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_DEBIAN_TOOL_PACKAGE_NAME orvessa)
  set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION graphics)
  set(CPACK_DEBIAN_TOOL_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_TOOL_DESCRIPTION "command-line image effects on pixel buffers and pictures\nThe orvessa tool: a 3 x 3 weighted blur and an edge-adaptive smoothing of\n24-bit pixel buffers and pictures, gray and two-colour conversion of\npicture files, and HIMETRIC-to-pixel conversion.")
  set(CPACK_DEBIAN_DEV_PACKAGE_NAME liborvessa-dev)
  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libvips-dev (>= 8.13), pkgconf | pkg-config")
  if(TARGET orvessa_python)
    list(APPEND CPACK_COMPONENTS_ALL python)
    set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-orvessa)
    set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
    set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS ON)
    math(EXPR orvessa_next_minor "${Python3_VERSION_MINOR} + 1")
    set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}), python3 (<< ${Python3_VERSION_MAJOR}.${orvessa_next_minor}), python3-numpy")
    set(CPACK_DEBIAN_PYTHON_PACKAGE_SUGGESTS "python3-dask, python3-distributed")
    set(CPACK_DEBIAN_PYTHON_DESCRIPTION "image effects for Python over numpy and dask arrays\nThe orvessa package: the 3 x 3 weighted blur and the edge-adaptive smoothing\nin place over numpy arrays with the bytes of the orvessa tool, picture files\nread and written as the tool does, gray conversion, and the filters over\ndask arrays of any chunking.")
  endif()
  set(CPACK_DEBIAN_DEV_DESCRIPTION "image effects library (static, development files)\nThe Orvessa core (pixel buffer filters, gray conversion, unit conversion)\nand its Linux picture services as static libraries, with headers, a CMake\npackage (find_package(Orvessa CONFIG)) and pkg-config files.")
endif()
include(CPack)
