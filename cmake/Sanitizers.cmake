# Sanitizers for the project's own targets, as an interface target.
#   -DMAVREL_WAV_CHORUS_SANITIZE="address;undefined"   (or "thread", ...)
# Every entry becomes -fsanitize=<entry>. Every target of the project links
# mavrel_warnings, which carries mavrel_sanitizers, so the library, the command
# line and the tests are all built alike. Any finding stops the program.
set(MAVREL_WAV_CHORUS_SANITIZE "" CACHE STRING
  "Sanitizers for the project's targets, e.g. address;undefined or thread")

add_library(mavrel_sanitizers INTERFACE)
set(_mavrel_sanitize ${MAVREL_WAV_CHORUS_SANITIZE})
if(MAVREL_WAV_CHORUS_FUZZ)
  # Coverage for the fuzzer on every target; the fuzz target links the driver.
  list(APPEND _mavrel_sanitize fuzzer-no-link)
endif()
if(_mavrel_sanitize)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    message(FATAL_ERROR "MAVREL_WAV_CHORUS_SANITIZE needs GCC or Clang")
  endif()
  list(JOIN _mavrel_sanitize "," _mavrel_sanitize_list)
  target_compile_options(mavrel_sanitizers INTERFACE
    -fsanitize=${_mavrel_sanitize_list} -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  target_link_options(mavrel_sanitizers INTERFACE -fsanitize=${_mavrel_sanitize_list})
  target_link_libraries(mavrel_warnings INTERFACE mavrel_sanitizers)
  message(STATUS "MavrelWAVChorus: sanitizers ${_mavrel_sanitize_list}")
endif()
