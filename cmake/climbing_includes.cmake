# Fails, naming each, where a source of ours includes a path with "..":
# such an include finds its header beside the including file, round the
# rooms' views (rooms.cmake).
#   cmake -DROOT=<source tree> -P climbing_includes.cmake
file(GLOB_RECURSE sources
  ${ROOT}/src/*.[ch]pp ${ROOT}/src/*.h ${ROOT}/src/*.rc
  ${ROOT}/tools/*.[ch]pp ${ROOT}/python/src/*.[ch]pp ${ROOT}/web/src/*.[ch]pp)
set(found "")
foreach(source ${sources})
  file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"][^>\"]*\\.\\.")
  foreach(line ${lines})
    file(RELATIVE_PATH name ${ROOT} ${source})
    string(STRIP "${line}" line)
    string(APPEND found "\n  ${name}: ${line}")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "includes that climb out of their room with \"..\":${found}")
endif()
