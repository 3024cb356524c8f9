# Whether the test suite is built. MAVREL_WAV_CHORUS_BUILD_TESTS is ON, OFF or
# AUTO, the default: the tests of a native build need GoogleTest and libsndfile
# (through pkg-config), which a user who only builds and installs need not have.
#   AUTO  built when this is the top-level project and what they need is found;
#         otherwise left out, with the missing packages named.
#   ON    built; a missing package stops the configuration, named.
# A cross build's tests (under Wine or qemu) need neither package.
# Afterwards MAVREL_WAV_CHORUS_BUILD_TESTS holds ON or OFF.
set(MAVREL_WAV_CHORUS_BUILD_TESTS AUTO CACHE STRING
  "Build the test suite: ON, OFF, or AUTO (when GoogleTest and libsndfile are found)")
set_property(CACHE MAVREL_WAV_CHORUS_BUILD_TESTS PROPERTY STRINGS AUTO ON OFF)

set(_tests ${MAVREL_WAV_CHORUS_BUILD_TESTS})
# A WebAssembly build's tests are the browser's (scripts/checks/85-web.sh).
if(_tests STREQUAL "AUTO" AND (NOT PROJECT_IS_TOP_LEVEL OR EMSCRIPTEN))
  set(_tests OFF)
endif()
if(_tests AND NOT CMAKE_CROSSCOMPILING)
  set(_missing)
  find_package(GTest QUIET)
  if(NOT GTest_FOUND)
    list(APPEND _missing "GoogleTest (Debian: googletest libgtest-dev)")
  endif()
  find_package(PkgConfig QUIET)
  if(NOT PkgConfig_FOUND)
    list(APPEND _missing "pkg-config (Debian: pkg-config), to find libsndfile")
  else()
    pkg_check_modules(SNDFILE QUIET IMPORTED_TARGET sndfile)
    if(NOT SNDFILE_FOUND)
      list(APPEND _missing "libsndfile (Debian: libsndfile1-dev)")
    endif()
  endif()
  if(_missing)
    list(JOIN _missing "; " _missing_text)
    if(_tests STREQUAL "AUTO")
      message(STATUS "The tests are not built: not found: ${_missing_text}. "
        "Install them for the tests, or configure with -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF.")
      set(_tests OFF)
    else()
      message(FATAL_ERROR "The tests need what was not found: ${_missing_text}. "
        "Install it, or configure with -DMAVREL_WAV_CHORUS_BUILD_TESTS=OFF.")
    endif()
  endif()
endif()
if(_tests)
  set(MAVREL_WAV_CHORUS_BUILD_TESTS ON)
else()
  set(MAVREL_WAV_CHORUS_BUILD_TESTS OFF)
endif()
