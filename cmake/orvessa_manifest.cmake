# Writes the assembly manifest of Orvessa.dll from the identifiers in the IDL,
# so that no identifier is written twice. Run by the build (cmake -P) with
#   IDL TEMPLATE OUTPUT VERSION ARCHITECTURE
file(READ "${IDL}" idl)
# Comments could hold anything; drop them first.
string(REGEX REPLACE "//[^\n]*" "" idl "${idl}")

# The attribute block in front of `kind name`, as "uuid;version".
function(idl_entry kind out_name out_id out_version)
  string(REGEX MATCH "\\[([^]]*)\\][ \t\r\n]*${kind}[ \t\r\n]+([A-Za-z_][A-Za-z0-9_]*)" found "${idl}")
  if(NOT found)
    message(FATAL_ERROR "${IDL}: no ${kind}")
  endif()
  set(attributes "${CMAKE_MATCH_1}")
  set(name "${CMAKE_MATCH_2}")
  string(REGEX MATCH "uuid\\(([0-9A-Fa-f-]+)\\)" id "${attributes}")
  string(TOUPPER "${CMAKE_MATCH_1}" id)
  string(REGEX MATCH "version\\(([0-9]+\\.[0-9]+)\\)" version "${attributes}")
  set(${out_name} "${name}" PARENT_SCOPE)
  set(${out_id} "${id}" PARENT_SCOPE)
  set(${out_version} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

idl_entry(library LIBRARY_NAME LIBRARY_ID LIBRARY_VERSION)
idl_entry(interface INTERFACE_NAME INTERFACE_ID unused)
idl_entry(coclass CLASS_NAME CLASS_ID unused)
foreach(value LIBRARY_ID LIBRARY_VERSION INTERFACE_ID CLASS_ID)
  if(NOT ${value} MATCHES "^[0-9A-F.-]+$")
    message(FATAL_ERROR "${IDL}: cannot read ${value}")
  endif()
endforeach()
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY NEWLINE_STYLE CRLF)
