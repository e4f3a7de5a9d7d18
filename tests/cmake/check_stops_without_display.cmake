# Runs one GL test program with no X display. Every test must end by itself,
# failing with the window's message: a fixture that made GL calls without a
# context would crash the program before its closing summary.
# Run with: cmake -DTEST_PROGRAM=<path> -P check_stops_without_display.cmake
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})
execute_process(COMMAND ${TEST_PROGRAM} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)

if(NOT output MATCHES "\\[==========\\] [0-9]+ tests? from [0-9]+ test suites? ran\\.")
  message(FATAL_ERROR "${TEST_PROGRAM} stopped before its summary (exit: ${result}):\n${output}")
endif()
if(result STREQUAL "1")
  if(NOT output MATCHES "no OpenGL 4.2 core context [^\n]*DISPLAY environment variable is missing")
    message(FATAL_ERROR "${TEST_PROGRAM} failed without the window's message:\n${output}")
  endif()
elseif(NOT result STREQUAL "0")
  message(FATAL_ERROR "${TEST_PROGRAM} ended with ${result}:\n${output}")
endif()
