# The one version of the project is project(VERSION): 1.0.0.9 is the fixed
# version of Orvessa.dll's resource and the packages' version. The text form
# that the DLL's version strings and `orvessa --version` show, "1.00.0009",
# is major, two-digit minor and four-digit revision; that form has no place
# for the third number, so it must stay 0.
if(NOT PROJECT_VERSION_PATCH EQUAL 0)
  message(FATAL_ERROR "The version text major.mm.rrrr cannot show a third number: "
    "project(VERSION ${PROJECT_VERSION}) must have 0 there")
endif()
function(orvessa_pad_number value width out)
  string(LENGTH "${value}" length)
  while(length LESS width)
    string(PREPEND value "0")
    math(EXPR length "${length} + 1")
  endwhile()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()
orvessa_pad_number("${PROJECT_VERSION_MINOR}" 2 minor_text)
orvessa_pad_number("${PROJECT_VERSION_TWEAK}" 4 tweak_text)
set(ORVESSA_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${minor_text}.${tweak_text}")

# orvessa/version.hpp, a public header: C++ code and the Windows resource
# script both read the version from it.
set(ORVESSA_GENERATED_INCLUDE ${CMAKE_CURRENT_BINARY_DIR}/include)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.hpp.in
  ${ORVESSA_GENERATED_INCLUDE}/orvessa/version.hpp @ONLY)
