# Rooms: the sources of each folder of src/ see, through a view of links
# made here, only the folders and headers of src/ and the public headers of
# include/orvessa/ that they may include (docs/architecture.md), so that an
# include upward does not compile. The faces outside src/ (the tool, Python,
# the web modules, benchmarks) get views of their own; the tests see
# everything. include/ itself reaches only targets that are not ours in rooms
# (the tests, and projects that take the libraries), through orvessa_core.
set(orvessa_rooms_dir ${PROJECT_BINARY_DIR}/rooms)

# The public headers by the level of the room that defines what they
# declare. The core's (and the generated version.hpp) are seen by all.
set(orvessa_core_headers orvessa/arith.hpp orvessa/bitmap_info.hpp orvessa/byte_array.hpp
  orvessa/error.hpp orvessa/filter_options.hpp orvessa/filter_path.hpp
  orvessa/filter_pixels.hpp orvessa/float_env.hpp orvessa/pixel_layout.hpp
  orvessa/argument_rules.hpp)
set(orvessa_object_headers orvessa/pictava.hpp)  # object/, convert/
set(orvessa_linux_headers orvessa/linux_platform.hpp orvessa/picture_stream.hpp)  # platform/linux/
set(orvessa_jobs_headers orvessa/pictures.hpp)  # jobs/
set(orvessa_public_headers ${orvessa_core_headers} ${orvessa_object_headers}
  ${orvessa_linux_headers} ${orvessa_jobs_headers})
file(GLOB orvessa_headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}/include
  ${PROJECT_SOURCE_DIR}/include/orvessa/*.hpp)
list(REMOVE_ITEM orvessa_headers ${orvessa_public_headers})
if(orvessa_headers)
  message(FATAL_ERROR "No level for ${orvessa_headers} in include/: "
    "cmake/rooms.cmake lists each public header with the rooms that may see it")
endif()

# A view: links to the given paths, orvessa/... from include/, the rest from src/.
function(orvessa_view name)
  set(view ${orvessa_rooms_dir}/${name})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view})
  set(paths ${orvessa_core_headers} ${ARGN})
  list(REMOVE_DUPLICATES paths)
  foreach(path ${paths})
    if(path MATCHES "^orvessa/")
      set(target ${PROJECT_SOURCE_DIR}/include/${path})
    else()
      set(target ${PROJECT_SOURCE_DIR}/src/${path})
    endif()
    get_filename_component(parent ${view}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${target} ${view}/${path} SYMBOLIC)
  endforeach()
endfunction()

# orvessa_in_rooms(TARGET): the target's sources see their views, not
# include/, and are built after the check of "../" below.
function(orvessa_in_rooms target)
  set_target_properties(${target} PROPERTIES ORVESSA_ROOMS ON)
  add_dependencies(${target} orvessa_includes)
endfunction()

# orvessa_room(FOLDER [SEES path...]): FOLDER's sources see FOLDER and the paths.
function(orvessa_room folder)
  cmake_parse_arguments(room "" "" "SEES" ${ARGN})
  string(REPLACE "/" "_" name ${folder})
  orvessa_view(${name} ${folder} ${room_SEES})
  file(GLOB sources ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp)
  set_source_files_properties(${sources} PROPERTIES INCLUDE_DIRECTORIES ${orvessa_rooms_dir}/${name})
endfunction()

# orvessa_face(TARGET [SEES path...]): a target outside src/ sees the paths.
function(orvessa_face target)
  cmake_parse_arguments(face "" "" "SEES" ${ARGN})
  orvessa_view(${target} ${face_SEES})
  target_include_directories(${target} PRIVATE ${orvessa_rooms_dir}/${target})
  orvessa_in_rooms(${target})
endfunction()

# The table of rooms, lowest first; every room sees the core's public headers.
orvessa_room(errors)
orvessa_room(rules)
orvessa_room(filters)
orvessa_room(codecs)
orvessa_room(convert SEES ${orvessa_object_headers} platform/platform.hpp)
orvessa_room(object SEES ${orvessa_object_headers} platform/platform.hpp)
orvessa_room(platform/linux SEES ${orvessa_linux_headers} platform/platform.hpp codecs)
orvessa_room(platform/win32 SEES platform/platform.hpp)
orvessa_room(platform/web SEES platform/platform.hpp)
orvessa_room(jobs SEES ${orvessa_public_headers} platform/platform.hpp platform/linux)
orvessa_room(server SEES ${orvessa_object_headers} platform/win32)

# A quoted include is looked up beside the including file before any view,
# so no view can stop "../": the build refuses every include that climbs.
file(GLOB_RECURSE orvessa_checked_sources CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/src/*.[ch]pp ${PROJECT_SOURCE_DIR}/src/*.h ${PROJECT_SOURCE_DIR}/src/*.rc
  ${PROJECT_SOURCE_DIR}/tools/*.[ch]pp ${PROJECT_SOURCE_DIR}/python/src/*.[ch]pp
  ${PROJECT_SOURCE_DIR}/web/src/*.[ch]pp)
add_custom_command(OUTPUT ${orvessa_rooms_dir}/includes-checked
  COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR}
    -P ${CMAKE_CURRENT_LIST_DIR}/climbing_includes.cmake
  COMMAND ${CMAKE_COMMAND} -E touch ${orvessa_rooms_dir}/includes-checked
  DEPENDS ${orvessa_checked_sources} ${CMAKE_CURRENT_LIST_DIR}/climbing_includes.cmake
  COMMENT "Checking that no include climbs with ..")
add_custom_target(orvessa_includes ALL DEPENDS ${orvessa_rooms_dir}/includes-checked)

# orvessa_room_probe(ROOM HEADER SEEN|REFUSED): a test that compiles an
# include of HEADER as ROOM's sources are compiled; it must compile (SEEN)
# or fail for want of HEADER (REFUSED).
function(orvessa_room_probe room header expected)
  string(MAKE_C_IDENTIFIER "${room}_${header}" name)
  set(source ${PROJECT_BINARY_DIR}/room-probes/${name}.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "#include \"${header}\"\n")
  string(REPLACE "/" "_" view ${room})
  set_source_files_properties(${source} PROPERTIES INCLUDE_DIRECTORIES ${orvessa_rooms_dir}/${view})
  add_library(orvessa_probe_${name} OBJECT EXCLUDE_FROM_ALL ${source})
  target_link_libraries(orvessa_probe_${name} PRIVATE orvessa_core)
  orvessa_in_rooms(orvessa_probe_${name})
  add_test(NAME room_${expected}_${name}
    COMMAND ${CMAKE_COMMAND} --build ${PROJECT_BINARY_DIR} --target orvessa_probe_${name})
  set_tests_properties(room_${expected}_${name} PROPERTIES RESOURCE_LOCK orvessa_build_tree)
  if(expected STREQUAL "REFUSED")
    string(REPLACE "." "\\." pattern ${header})
    set_tests_properties(room_${expected}_${name} PROPERTIES
      PASS_REGULAR_EXPRESSION "${pattern}'?(: No such file| file not found)")
  endif()
endfunction()

# The check of "../" refuses a source that climbs.
function(orvessa_climbing_probe)
  set(root ${PROJECT_BINARY_DIR}/room-probes/climbing)
  file(CONFIGURE OUTPUT ${root}/src/filters/climbing.cpp CONTENT "#include \"../convert/gray_rule.hpp\"\n")
  add_test(NAME room_REFUSED_climbing
    COMMAND ${CMAKE_COMMAND} -DROOT=${root} -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/climbing_includes.cmake)
  set_tests_properties(room_REFUSED_climbing PROPERTIES
    PASS_REGULAR_EXPRESSION "src/filters/climbing\\.cpp: #include \"\\.\\./convert/gray_rule\\.hpp\"")
endfunction()
