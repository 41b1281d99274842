# Checks the project's layers on its sources: what each layer may include.
#   lib/          the library: itself and the ports (platform/*.h), nothing else
#   app/          the toolkit-neutral application: app/, lib/ and the ports
#   platform/*.*  the ports: only other ports
#   app/qt/       the desktop front end: never the command line (cli/)
#   cli/          the command line: never the desktop front end (app/qt/)
# The build's include roots already refuse most of these; this names every offending
# line at once. Run with cmake -DROOT=<project> -P check_layers.cmake.
set(port "platform/[a-z_]+\\.h")
set(faults "")

function(check_layer allowed)
  file(GLOB sources RELATIVE ${ROOT} ${ARGN})
  foreach(source IN LISTS sources)
    file(STRINGS ${ROOT}/${source} includes REGEX "^#include \"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
      if(NOT header MATCHES "${allowed}")
        string(APPEND faults "  ${source}: ${header}\n")
      endif()
    endforeach()
  endforeach()
  set(faults "${faults}" PARENT_SCOPE)
endfunction()

check_layer("^(lib/|${port}$)" ${ROOT}/lib/*/*.cpp ${ROOT}/lib/*/*.h)
check_layer("^(app/|lib/|${port}$)" ${ROOT}/app/*.cpp ${ROOT}/app/*.h ${ROOT}/app/model/*.cpp ${ROOT}/app/model/*.h)
check_layer("^${port}$" ${ROOT}/platform/*.cpp ${ROOT}/platform/*.h)
check_layer("^(app/|lib/|platform/)" ${ROOT}/app/qt/*.cpp ${ROOT}/app/qt/*.h)
check_layer("^(cli/|app/[a-z_]+\\.h$|app/model/|lib/|platform/)" ${ROOT}/cli/*.cpp ${ROOT}/cli/*.h)

if(faults)
  message(FATAL_ERROR "includes that cross the layers:\n${faults}")
endif()
