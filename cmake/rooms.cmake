# Rooms: the sources of each folder of src/ see, through a view of links
# made here, only the folders and headers of src/ that they may include
# (docs/architecture.md), so that an include upward does not compile. The
# faces outside src/ (the tool, Python, benchmarks) get views of their own;
# the tests see everything.
set(orvessa_rooms_dir ${CMAKE_BINARY_DIR}/rooms)

function(orvessa_view name)
  set(view ${orvessa_rooms_dir}/${name})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view})
  foreach(path ${ARGN})
    get_filename_component(parent ${view}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${path} ${view}/${path} SYMBOLIC)
  endforeach()
endfunction()

# orvessa_room(FOLDER [SEES path...]): FOLDER's sources see FOLDER and the paths.
function(orvessa_room folder)
  cmake_parse_arguments(room "" "" "SEES" ${ARGN})
  string(REPLACE "/" "_" name ${folder})
  orvessa_view(${name} ${folder} ${room_SEES})
  file(GLOB sources ${CMAKE_SOURCE_DIR}/src/${folder}/*.cpp)
  set_source_files_properties(${sources} PROPERTIES INCLUDE_DIRECTORIES ${orvessa_rooms_dir}/${name})
endfunction()

# orvessa_face(TARGET [SEES path...]): a target outside src/ sees the paths.
function(orvessa_face target)
  cmake_parse_arguments(face "" "" "SEES" ${ARGN})
  orvessa_view(${target} ${face_SEES})
  target_include_directories(${target} PRIVATE ${orvessa_rooms_dir}/${target})
endfunction()

# The table of rooms, lowest first; every room sees include/orvessa/.
orvessa_room(errors)
orvessa_room(filters)
orvessa_room(codecs)
orvessa_room(convert SEES platform/platform.hpp)
orvessa_room(object SEES platform/platform.hpp)
orvessa_room(platform/linux SEES platform/platform.hpp codecs)
orvessa_room(platform/win32 SEES platform/platform.hpp)
orvessa_room(platform/web SEES platform/platform.hpp)
orvessa_room(jobs SEES platform/platform.hpp platform/linux)
orvessa_room(server SEES platform/win32)
