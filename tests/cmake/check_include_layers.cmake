# Fails when a source file includes a header of a subsystem above its own.
# The subsystems stack as listed: each may include its own headers and those
# of the subsystems before it, never one after it.
# Run with: cmake -DSOURCE_DIR=<repo>/src -P check_include_layers.cmake
set(layers platform data scripting effects engine)

set(violations "")
set(allowed "")
foreach(layer ${layers})
  list(APPEND allowed ${layer})
  file(GLOB_RECURSE files ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.c ${SOURCE_DIR}/${layer}/*.cpp)
  foreach(file ${files})
    file(STRINGS ${file} includes REGEX "^#include \"[a-z_]+/")
    foreach(line ${includes})
      string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" target "${line}")
      list(FIND allowed ${target} found)
      if(found EQUAL -1)
        file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
        string(APPEND violations "  ${name}: ${line}\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "headers included from a higher subsystem:\n${violations}")
endif()
