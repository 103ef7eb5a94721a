# What the packages hold, cut along install components; scripts/package.sh
# makes the packages from them:
#  - on Linux, the Debian packages (metadata in packaging/debian/):
#    `orvessa` from the component `tool` (install.cmake), `liborvessa-dev`
#    from `dev` and `python3-orvessa` from `python` (python/python.cmake);
#  - in a Windows tree, the component `windows`, one half of the zip of
#    Orvessa.dll: x86/ or x64/ by the tree's bitness, with the manifest beside
#    the DLL, the licence, the guide for Windows users, the guide for COM
#    callers with its examples and a small picture to try them on, and the
#    interface header for C++ callers. scripts/package.sh gathers the 32- and
#    64-bit trees into one zip.
# Installing and packaging take what is built; they do not build every test
# and benchmark first (scripts/package.sh builds the targets they need).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

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
  configure_file(LICENSE ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt
    docs/com-guide.md DESTINATION . COMPONENT windows)
  if(TARGET orvessa_idl)
    # The generated header names the IDL file by its full path: the zip's
    # copy names it from the source folder, the same wherever it was built.
    set(orvessa_zip_header ${CMAKE_CURRENT_BINARY_DIR}/zip/orvessa_idl.h)
    add_custom_command(OUTPUT ${orvessa_zip_header}
      COMMAND ${CMAKE_COMMAND} -E copy ${orvessa_gen}/server/orvessa_idl.h ${orvessa_zip_header}
      COMMAND sed -i "1s|${PROJECT_SOURCE_DIR}/||" ${orvessa_zip_header}
      DEPENDS ${orvessa_gen}/server/orvessa_idl.h VERBATIM)
    add_custom_target(orvessa_zip_header ALL DEPENDS ${orvessa_zip_header})
    add_dependencies(orvessa_zip_header orvessa_idl)
    install(FILES ${orvessa_zip_header} DESTINATION include COMPONENT windows)
  endif()
  file(GLOB orvessa_script_examples docs/examples/*.vbs)
  install(FILES ${orvessa_script_examples} docs/examples/com_client.cpp docs/examples/round_trip.cpp
    sample-pictures/chelsea-small.bmp DESTINATION examples COMPONENT windows)
endif()
