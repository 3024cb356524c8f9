# Whether the LV2 plugin (lv2/) is built. MAVREL_WAV_CHORUS_BUILD_LV2 is ON, OFF
# or AUTO, the default: the plugin needs the LV2 headers (Debian: lv2-dev),
# found through pkg-config.
#   AUTO  built in a native Linux build when the headers are found; otherwise
#         left out, with the missing package named.
#   ON    built; missing headers stop the configuration, named. With the tests,
#         the plugin's tests are then required too (lilv, tests/lv2).
# Afterwards MAVREL_WAV_CHORUS_BUILD_LV2 holds ON or OFF; the choice as given
# stays in the cache.
set(MAVREL_WAV_CHORUS_BUILD_LV2 AUTO CACHE STRING
  "Build the LV2 plugin: ON, OFF, or AUTO (when the LV2 headers are found)")
set_property(CACHE MAVREL_WAV_CHORUS_BUILD_LV2 PROPERTY STRINGS AUTO ON OFF)

set(_lv2 ${MAVREL_WAV_CHORUS_BUILD_LV2})
if(_lv2 STREQUAL "AUTO" AND (NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR CMAKE_CROSSCOMPILING
                             OR NOT PROJECT_IS_TOP_LEVEL))
  set(_lv2 OFF)
endif()
if(_lv2)
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_check_modules(MAVREL_LV2 QUIET IMPORTED_TARGET lv2)
  endif()
  if(NOT MAVREL_LV2_FOUND)
    if(_lv2 STREQUAL "AUTO")
      message(STATUS "The LV2 plugin is not built: not found: the LV2 headers "
        "(Debian: lv2-dev), through pkg-config.")
      set(_lv2 OFF)
    else()
      message(FATAL_ERROR "The LV2 plugin needs the LV2 headers (Debian: lv2-dev), found "
        "through pkg-config. Install them, or configure with -DMAVREL_WAV_CHORUS_BUILD_LV2=OFF.")
    endif()
  endif()
endif()
if(_lv2)
  set(MAVREL_WAV_CHORUS_BUILD_LV2 ON)
else()
  set(MAVREL_WAV_CHORUS_BUILD_LV2 OFF)
endif()
