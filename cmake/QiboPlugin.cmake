# qibo_add_plugin(<target> SOURCES <file>... [OUTPUT_DIRECTORY <dir>])
#
# A plug-in module: "<target>.plug" with no "lib" prefix, linked against
# the engine's core library (qiboCore in the engine's own build, qibo::core
# from the installed package), which it finds through its run path
# ($ORIGIN, and the folder above when it lives in a subfolder of the
# binaries) or, loaded by a program, as the library already loaded.
function(qibo_add_plugin target)
  cmake_parse_arguments(PLUGIN "" "OUTPUT_DIRECTORY" "SOURCES" ${ARGN})
  add_library(${target} MODULE ${PLUGIN_SOURCES})
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ".plug")
  if(PLUGIN_OUTPUT_DIRECTORY)
    set_target_properties(${target} PROPERTIES
      LIBRARY_OUTPUT_DIRECTORY ${PLUGIN_OUTPUT_DIRECTORY}
      BUILD_RPATH "\$ORIGIN;\$ORIGIN/..")
  endif()
  if(TARGET qiboCore)
    target_link_libraries(${target} PRIVATE qiboCore)
  else()
    target_link_libraries(${target} PRIVATE qibo::core)
  endif()
endfunction()
