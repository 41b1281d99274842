# Every library gets an include root of its own: a directory in the build tree that
# holds links to that library's headers only, under the paths the sources use
# ("platform/sim/machine_file.h"). A source then sees the headers of its own library
# and of the libraries it links, nothing else, so a layer that reaches past what it
# depends on (the core into a backend, the desktop program into the command line)
# fails to build instead of growing a hidden dependency.
#
# berth_include_root(TARGET DIR...) links the headers of each DIR (relative to the
# project's top) into TARGET's root and makes it TARGET's public include directory.
function(berth_include_root target)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(REMOVE_RECURSE ${root})
  foreach(dir IN LISTS ARGN)
    file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.h)
    file(MAKE_DIRECTORY ${root}/${dir})
    foreach(header IN LISTS headers)
      get_filename_component(name ${header} NAME)
      file(CREATE_LINK ${header} ${root}/${dir}/${name} SYMBOLIC)
    endforeach()
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
