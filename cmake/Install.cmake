# Installation: the header, the shared library with its SONAME links (the DLL and
# its import library on Windows), the command-line host with its man page and
# bash completion, wavchorus-hosts beside it, a CMake package and a pkg-config
# file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(MAVREL_WAV_CHORUS_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/MavrelWAVChorus"
    CACHE STRING "Where the CMake package files are installed, relative to the prefix")

# The framework that the library registers with when it is loaded goes beside it.
install(TARGETS MavrelWAVChorus MavrelFramework
  EXPORT MavrelWAVChorusTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime
          NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
install(FILES ${PROJECT_SOURCE_DIR}/include/MavrelWAVChorus.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)

# An install outside the system's library directories finds its libraries
# relative to itself, so the installed tree can be moved as a whole: the program
# finds the library, and the library the framework beside it.
set(_relocatable_rpath OFF)
if(NOT WIN32 AND NOT APPLE)
  set(_system_libdirs ${CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES}
      ${CMAKE_C_IMPLICIT_LINK_DIRECTORIES} ${CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES})
  if(NOT "${CMAKE_INSTALL_FULL_LIBDIR}" IN_LIST _system_libdirs)
    set(_relocatable_rpath ON)
    set_target_properties(MavrelWAVChorus PROPERTIES INSTALL_RPATH "$ORIGIN")
  endif()
endif()

if(TARGET wavchorus)
  if(_relocatable_rpath)
    file(RELATIVE_PATH _bin_to_lib "${CMAKE_INSTALL_FULL_BINDIR}" "${CMAKE_INSTALL_FULL_LIBDIR}")
    set_target_properties(wavchorus PROPERTIES INSTALL_RPATH "$ORIGIN/${_bin_to_lib}")
  endif()
  install(TARGETS wavchorus RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
  if(NOT WIN32)
    # wavchorus-hosts, the recipe for GNU parallel over ssh, goes beside it.
    install(PROGRAMS ${PROJECT_SOURCE_DIR}/cli/wavchorus-hosts
      DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
    # Compressed, without a name or time stamp, as Debian's policy asks.
    find_program(MAVREL_GZIP gzip)
    foreach(_page wavchorus wavchorus-hosts)
      set(_man ${PROJECT_SOURCE_DIR}/docs/${_page}.1)
      if(MAVREL_GZIP)
        add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${_page}.1.gz
          COMMAND ${MAVREL_GZIP} -9nc ${_man} > ${PROJECT_BINARY_DIR}/${_page}.1.gz
          DEPENDS ${_man} VERBATIM)
        add_custom_target(${_page}_man ALL DEPENDS ${PROJECT_BINARY_DIR}/${_page}.1.gz)
        set(_man ${PROJECT_BINARY_DIR}/${_page}.1.gz)
      endif()
      install(FILES ${_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Runtime)
    endforeach()
    # Where bash-completion looks for a command's completion when it is first used.
    install(FILES ${PROJECT_SOURCE_DIR}/cli/completion/wavchorus
      ${PROJECT_SOURCE_DIR}/cli/completion/wavchorus-hosts
      DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT Runtime)
  endif()
endif()

install(EXPORT MavrelWAVChorusTargets
  NAMESPACE MavrelWAVChorus::
  FILE MavrelWAVChorusTargets.cmake
  DESTINATION ${MAVREL_WAV_CHORUS_CMAKE_DIR}
  COMPONENT Development)
configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/MavrelWAVChorusConfig.cmake.in
  ${PROJECT_BINARY_DIR}/MavrelWAVChorusConfig.cmake
  INSTALL_DESTINATION ${MAVREL_WAV_CHORUS_CMAKE_DIR})
# 1.x releases keep the SONAME and the API, so any 1.x satisfies a request for 1.y.
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/MavrelWAVChorusConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/MavrelWAVChorusConfig.cmake
  ${PROJECT_BINARY_DIR}/MavrelWAVChorusConfigVersion.cmake
  DESTINATION ${MAVREL_WAV_CHORUS_CMAKE_DIR} COMPONENT Development)

# The pkg-config file finds the prefix from its own place (${pcfiledir}), so it
# stays right for `cmake --install --prefix`, DESTDIR and a moved tree. Absolute
# install directories are written as they are.
set(_pc_dir "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
if(IS_ABSOLUTE "${_pc_dir}")
  set(MAVREL_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  set(MAVREL_PC_PREFIX "\${pcfiledir}")
  string(REGEX MATCHALL "[^/]+" _pc_dir_parts "${_pc_dir}")
  foreach(_part IN LISTS _pc_dir_parts)
    string(APPEND MAVREL_PC_PREFIX "/..")
  endforeach()
endif()
foreach(_dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${_dir}}")
    set(MAVREL_PC_${_dir} "${CMAKE_INSTALL_${_dir}}")
  else()
    set(MAVREL_PC_${_dir} "\${prefix}/${CMAKE_INSTALL_${_dir}}")
  endif()
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/MavrelWAVChorus.pc.in
  ${PROJECT_BINARY_DIR}/MavrelWAVChorus.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/MavrelWAVChorus.pc
  DESTINATION ${_pc_dir} COMPONENT Development)
