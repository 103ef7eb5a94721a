# The C++ examples of docs/com-guide.md, built in the Windows trees and run
# under Wine by scripts/test-windows.sh. They include the interface header
# made from the type library, as a user does with include/orvessa_idl.h of
# the Windows zip.
if(TARGET orvessa_idl)
  foreach(example com_client round_trip)
    add_executable(${example} ${CMAKE_CURRENT_LIST_DIR}/${example}.cpp)
    target_include_directories(${example} PRIVATE ${orvessa_gen}/server)
    target_compile_definitions(${example} PRIVATE ${orvessa_win32_defs})
    target_link_libraries(${example} PRIVATE ole32 oleaut32 uuid gdi32 user32)
    target_link_options(${example} PRIVATE -static -municode)
    add_dependencies(${example} orvessa_idl)
  endforeach()
endif()
