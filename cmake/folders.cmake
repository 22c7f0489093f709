# Every folder of the source tree is a library of its own, and a library's files see only the
# headers of the libraries it depends on. There is no include path to the project root: each
# library gets a folder in the build tree that holds links to its own headers alone, under their
# usual names ("recorder/state.h"), and hands that folder on to whatever links it. So a header of
# a folder that is not a dependency does not exist for the compiler: platform/ cannot include
# recorder/, a subsystem cannot include a peer's headers, the core cannot include a dialog.
#
# Each library's headers are also compiled one by one against its own dependencies (a library
# <name>_headers in the default build), so a wrong-way include in a header fails the build even
# where no file of the folder itself includes that header.

set(MDL_INCLUDE_ROOT ${PROJECT_BINARY_DIR}/include)

# mdl_expose_headers(TARGET DIR): DIR/*.h (not its subfolders) as "DIR/<file>.h" to TARGET and
# to what links it.
function(mdl_expose_headers target dir)
  set(_stage ${MDL_INCLUDE_ROOT}/${target})
  file(GLOB _headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.h)
  file(REMOVE_RECURSE ${_stage})
  file(MAKE_DIRECTORY ${_stage}/${dir})
  foreach(_h ${_headers})
    get_filename_component(_name ${_h} NAME)
    file(CREATE_LINK ${_h} ${_stage}/${dir}/${_name} SYMBOLIC)
  endforeach()
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${_stage})
  else()
    target_include_directories(${target} PUBLIC ${_stage})
  endif()
  if(_headers)
    mdl_check_headers(${target} ${dir} ${_headers})
  endif()
endfunction()

# mdl_check_headers(TARGET DIR HEADERS...): compiles each header alone with what TARGET gives its
# users; part of the default build.
function(mdl_check_headers target dir)
  set(_sources)
  foreach(_h ${ARGN})
    get_filename_component(_name ${_h} NAME_WE)
    set(_src ${PROJECT_BINARY_DIR}/header_checks/${target}/${_name}.cpp)
    file(CONFIGURE OUTPUT ${_src} CONTENT "#include \"${dir}/${_name}.h\"\n")
    list(APPEND _sources ${_src})
  endforeach()
  add_library(${target}_headers OBJECT ${_sources})
  target_compile_options(${target}_headers PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wconversion>)
  target_link_libraries(${target}_headers PRIVATE ${target})
  set_target_properties(${target}_headers PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
endfunction()

# mdl_add_folder_library(NAME DIR [DEPS ...]): a static library of DIR/*.cpp (not recursive) that
# exposes DIR/*.h; DEPS are what its headers and sources use. Without sources it is an interface
# library of headers. The headers are among the sources too, for Qt's moc.
function(mdl_add_folder_library name dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.cpp)
  file(GLOB _hdrs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.h)
  if(_srcs)
    add_library(${name} STATIC ${_srcs} ${_hdrs})
    target_compile_options(${name} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wconversion>)
    if(ARGN)
      target_link_libraries(${name} PUBLIC ${ARGN})
    endif()
  else()
    add_library(${name} INTERFACE)
    if(ARGN)
      target_link_libraries(${name} INTERFACE ${ARGN})
    endif()
  endif()
  mdl_expose_headers(${name} ${dir})
endfunction()
