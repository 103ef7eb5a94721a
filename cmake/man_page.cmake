# orvessa.1, the manual page, made from what `orvessa --help` prints, so that
# the page and the help cannot say different things.
set(ORVESSA_MAN_PAGE ${CMAKE_CURRENT_BINARY_DIR}/orvessa.1)
add_custom_command(OUTPUT ${ORVESSA_MAN_PAGE}
  COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:orvessa> -DOUTPUT=${ORVESSA_MAN_PAGE}
          -DVERSION_TEXT=${ORVESSA_VERSION_TEXT} -P ${CMAKE_CURRENT_LIST_DIR}/help_to_man.cmake
  DEPENDS orvessa ${CMAKE_CURRENT_LIST_DIR}/help_to_man.cmake
  COMMENT "Generating the manual page orvessa.1 from orvessa --help")
add_custom_target(orvessa_man ALL DEPENDS ${ORVESSA_MAN_PAGE})
