# The C++ example of docs/com-guide.md, built in the Windows trees and run
# under Wine by scripts/test-windows.sh. It includes the interface header
# made from the type library, as a user does with include/orvessa_idl.h of
# the Windows zip.
if(TARGET orvessa_idl)
  add_executable(com_client ${CMAKE_CURRENT_LIST_DIR}/com_client.cpp)
  target_include_directories(com_client PRIVATE ${orvessa_gen}/server)
  target_compile_definitions(com_client PRIVATE ${orvessa_win32_defs})
  target_link_libraries(com_client PRIVATE ole32 oleaut32 uuid gdi32 user32)
  target_link_options(com_client PRIVATE -static -municode)
  add_dependencies(com_client orvessa_idl)
endif()
