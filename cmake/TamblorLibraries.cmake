# How the libraries of the program are declared, and the layering the build enforces.
#
# Every library lives in one folder and is declared with tamblor_library(). Its headers are
# published under their source path ("audio/devices/FilePlayer.h") in an include folder of the
# library's own, inside the build tree. There is no global include directory: a source file sees
# the headers of its own library and of the libraries it links, and nothing else, so an include
# of a library that is not linked fails to compile.
#
# The libraries are declared in dependency order. A library may link only libraries declared
# before it; a link to a later one is a configure error. The graph of the libraries is written
# to <build>/tamblor-libraries.dot at configure time.

set_property(GLOBAL PROPERTY TAMBLOR_LIBRARIES "")

# Publishes the headers (*.h) of the current folder under their source path in the include
# folder of `target`. PUBLIC for a library, PRIVATE for an executable with headers of its own.
function(tamblor_headers target scope)
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  file(MAKE_DIRECTORY ${root}/${rel})
  foreach(header IN LISTS headers)
    get_filename_component(name ${header} NAME)
    file(CREATE_LINK ${header} ${root}/${rel}/${name} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(scope INTERFACE)
  endif()
  target_include_directories(${target} ${scope} ${root})
endfunction()

# tamblor_library(<name> [INTERFACE] <sources...>): a static library of the current folder
# (or a header-only one), with its headers published.
function(tamblor_library name)
  if(ARGV1 STREQUAL "INTERFACE")
    add_library(${name} INTERFACE)
  else()
    add_library(${name} STATIC ${ARGN})
  endif()
  tamblor_headers(${name} PUBLIC)
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set_target_properties(${name} PROPERTIES TAMBLOR_FOLDER "${rel}")
  set_property(GLOBAL APPEND PROPERTY TAMBLOR_LIBRARIES ${name})
endfunction()

# Everything `target` links directly (project libraries and imported targets alike).
function(tamblor_direct_links target out)
  set(links "")
  if(TARGET ${target})
    get_target_property(type ${target} TYPE)
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(direct ${target} LINK_LIBRARIES)
      if(direct)
        list(APPEND links ${direct})
      endif()
    endif()
    get_target_property(iface ${target} INTERFACE_LINK_LIBRARIES)
    if(iface)
      list(APPEND links ${iface})
    endif()
  endif()
  set(result "")
  foreach(link IN LISTS links)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
    if(NOT link IN_LIST result)
      list(APPEND result ${link})
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# The project's libraries that `target` links directly.
function(tamblor_links_of target out)
  tamblor_direct_links(${target} links)
  get_property(known GLOBAL PROPERTY TAMBLOR_LIBRARIES)
  set(result "")
  foreach(link IN LISTS links)
    if(link IN_LIST known)
      list(APPEND result ${link})
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# Checks the declared order and writes the graph. Call once, after every library is declared.
function(tamblor_check_layering)
  get_property(libraries GLOBAL PROPERTY TAMBLOR_LIBRARIES)
  set(dot "digraph tamblor {\n  rankdir=BT;\n  node [shape=box];\n")
  set(seen "")
  foreach(lib IN LISTS libraries)
    get_target_property(folder ${lib} TAMBLOR_FOLDER)
    string(APPEND dot "  \"${lib}\" [label=\"${lib}\\n${folder}/\"];\n")
    tamblor_links_of(${lib} deps)
    foreach(dep IN LISTS deps)
      if(NOT dep IN_LIST seen)
        get_target_property(depfolder ${dep} TAMBLOR_FOLDER)
        message(FATAL_ERROR
          "Layering: ${lib} (${folder}/) links ${dep} (${depfolder}/), which is declared after it. "
          "A library may only use the libraries below it.")
      endif()
      string(APPEND dot "  \"${lib}\" -> \"${dep}\";\n")
    endforeach()
    list(APPEND seen ${lib})
  endforeach()
  string(APPEND dot "}\n")
  file(WRITE ${CMAKE_BINARY_DIR}/tamblor-libraries.dot "${dot}")
endfunction()

# add_subdirectory() for a part of the product that must be there: a missing folder is a
# configure error, never a silent skip.
function(tamblor_add_parts)
  foreach(part IN LISTS ARGN)
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${part}/CMakeLists.txt)
      message(FATAL_ERROR "Missing part of the build: ${CMAKE_CURRENT_SOURCE_DIR}/${part}")
    endif()
    add_subdirectory(${part})
  endforeach()
endfunction()

# Every library of the project's own (named tamblor_*) must be declared with tamblor_library(),
# so that its headers are published and its place in the order is known.
function(tamblor_check_declared dir)
  get_property(libraries GLOBAL PROPERTY TAMBLOR_LIBRARIES)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(target MATCHES "^tamblor_" AND type MATCHES "^(STATIC|SHARED|INTERFACE)_LIBRARY$" AND NOT target IN_LIST libraries
       AND NOT target MATCHES "^tamblor_test(support|main)")
      message(FATAL_ERROR "${target} in ${dir}: declare it with tamblor_library() "
                          "(see cmake/TamblorLibraries.cmake)")
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    tamblor_check_declared(${sub})
  endforeach()
endfunction()

# Everything `target` links, directly or through the libraries it links (imported targets such
# as Qt6::Widgets included), in the list named `out`.
function(tamblor_link_closure target out)
  set(closure "")
  set(queue ${target})
  while(queue)
    list(POP_FRONT queue current)
    tamblor_direct_links(${current} links)
    foreach(link IN LISTS links)
      if(NOT link IN_LIST closure)
        list(APPEND closure ${link})
        list(APPEND queue ${link})
      endif()
    endforeach()
  endwhile()
  set(${out} ${closure} PARENT_SCOPE)
endfunction()

# The libraries below the windows must run without a display: a link to Qt's Widgets, Gui or
# PrintSupport, direct or through another library, stops the configure step.
function(tamblor_check_window_free)
  foreach(lib IN LISTS ARGN)
    if(NOT TARGET ${lib})
      message(FATAL_ERROR "Window-free check: ${lib} is not a library of the project")
    endif()
    tamblor_link_closure(${lib} closure)
    foreach(link IN LISTS closure)
      if(link MATCHES "^Qt[56]?::(Widgets|Gui|PrintSupport|OpenGL|OpenGLWidgets)$")
        get_target_property(folder ${lib} TAMBLOR_FOLDER)
        message(FATAL_ERROR
          "Window-free: ${lib} (${folder}/) links ${link}. The libraries below the windows run "
          "without a display and link QtCore and what audio needs only.")
      endif()
    endforeach()
  endforeach()
endfunction()
