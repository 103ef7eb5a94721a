# The Python package `orvessa`: the compiled module orvessa._orvessa and the
# pure-Python part, gathered in <build>/python/orvessa so that the tests can
# import it from the tree, and installed (component `python`) into the
# prefix's Python directory, Debian's place for python3 packages.
# Built when Python 3 and pybind11 are found; not in sanitizer builds, whose
# runtime an interpreter would have to preload.
if(ORVESSA_SANITIZE OR ORVESSA_FUZZ)
  return()
endif()
if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  # Debian's interpreter, which has numpy; another python3 may come first on PATH.
  set(Python3_EXECUTABLE /usr/bin/python3)
endif()
find_package(Python3 COMPONENTS Interpreter Development.Module)
if(Python3_FOUND)
  find_package(pybind11 CONFIG)
endif()
if(NOT Python3_FOUND OR NOT pybind11_FOUND)
  if(ORVESSA_PYTHON_REQUIRED)  # the wheel's build (python/build_backend) cannot do without
    message(FATAL_ERROR "Python package: Python 3 development files and pybind11 not both found")
  endif()
  message(STATUS "Python package: skipped (Python 3 development files and pybind11 not both found)")
  return()
endif()

set(ORVESSA_PYTHON_INSTALL_DIR lib/python3/dist-packages CACHE STRING
  "Where the package orvessa is installed, relative to the prefix")
set(orvessa_python_tree ${CMAKE_CURRENT_BINARY_DIR}/python)

pybind11_add_module(orvessa_python MODULE NO_EXTRAS
  python/src/module.cpp python/src/errors.cpp python/src/pictures.cpp)
set_target_properties(orvessa_python PROPERTIES OUTPUT_NAME _orvessa
  LIBRARY_OUTPUT_DIRECTORY ${orvessa_python_tree}/orvessa)
orvessa_own(orvessa_python)
orvessa_face(orvessa_python SEES ${orvessa_public_headers} convert/fit_to_box.hpp)
target_link_libraries(orvessa_python PRIVATE orvessa_core orvessa_platform)
# Python looks up PyInit__orvessa and nothing else: the C++ of the libraries
# linked in, and the standard library's templates, stay inside the module.
set(orvessa_python_exports ${CMAKE_CURRENT_BINARY_DIR}/orvessa_python.map)
file(CONFIGURE OUTPUT ${orvessa_python_exports} CONTENT "{ global: PyInit__orvessa; local: *; };\n")
target_link_options(orvessa_python PRIVATE -Wl,--version-script=${orvessa_python_exports})
set_property(TARGET orvessa_python APPEND PROPERTY LINK_DEPENDS ${orvessa_python_exports})

file(GLOB orvessa_python_sources CONFIGURE_DEPENDS
  python/orvessa/*.py python/orvessa/*.pyi python/orvessa/py.typed)
set(orvessa_python_copies)
foreach(source ${orvessa_python_sources})
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${orvessa_python_tree}/orvessa/${name}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${source} ${orvessa_python_tree}/orvessa/${name}
    DEPENDS ${source})
  list(APPEND orvessa_python_copies ${orvessa_python_tree}/orvessa/${name})
endforeach()
# The .dist-info beside the package, made from pyproject.toml and the
# project's version by the wheel's build backend, so that the build tree, the
# install and the Debian package answer importlib.metadata as the wheel does.
set(orvessa_dist_info ${orvessa_python_tree}/orvessa-${PROJECT_VERSION}.dist-info)
add_custom_command(OUTPUT ${orvessa_dist_info}/METADATA ${orvessa_dist_info}/top_level.txt
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/python/build_backend/orvessa_build.py
    metadata ${orvessa_python_tree}
  DEPENDS python/build_backend/orvessa_build.py pyproject.toml README.md CMakeLists.txt)
list(APPEND orvessa_python_copies ${orvessa_dist_info}/METADATA)
add_custom_target(orvessa_python_files ALL DEPENDS ${orvessa_python_copies})
add_dependencies(orvessa_python orvessa_python_files)

install(TARGETS orvessa_python LIBRARY DESTINATION ${ORVESSA_PYTHON_INSTALL_DIR}/orvessa
  COMPONENT python)
install(FILES ${orvessa_python_sources} DESTINATION ${ORVESSA_PYTHON_INSTALL_DIR}/orvessa
  COMPONENT python)
install(DIRECTORY ${orvessa_dist_info} DESTINATION ${ORVESSA_PYTHON_INSTALL_DIR} COMPONENT python)

if(ORVESSA_BUILD_TESTS)
  enable_testing()
  add_test(NAME python
    COMMAND ${Python3_EXECUTABLE} -m pytest -q -p no:cacheprovider ${CMAKE_CURRENT_SOURCE_DIR}/tests/python
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(python PROPERTIES TIMEOUT 900 ENVIRONMENT
    "PYTHONPATH=${orvessa_python_tree};PYTHONDONTWRITEBYTECODE=1;ORVESSA_CLI=$<TARGET_FILE:orvessa>;ORVESSA_PICTURES=${CMAKE_CURRENT_SOURCE_DIR}/sample-pictures;ORVESSA_SOURCE=${CMAKE_CURRENT_SOURCE_DIR};ORVESSA_PACKAGE=${orvessa_python_tree}/orvessa")
  # The module's dynamic symbol table defines its init function alone.
  add_test(NAME python_exports
    COMMAND ${CMAKE_NM} -D --defined-only --format=posix $<TARGET_FILE:orvessa_python>)
  set_tests_properties(python_exports PROPERTIES
    PASS_REGULAR_EXPRESSION "^PyInit__orvessa [^\n]*\n*$")
endif()
