# The Windows package, made with `cpack -G ZIP` in the Windows build: the DLL,
# the framework's DLL beside it, wavchorus.exe, the public header and a short
# readme. win64 for x86-64, win32 for 32-bit x86, as Windows packages are usually
# named.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_windows_package_arch win64)
  set(MAVREL_WINDOWS_ARCH x64)
else()
  set(_windows_package_arch win32)
  set(MAVREL_WINDOWS_ARCH "x86, 32-bit")
endif()
string(LENGTH "MavrelWAVChorus ${PROJECT_VERSION} for Windows ${MAVREL_WINDOWS_ARCH}" _title)
string(REPEAT "=" ${_title} MAVREL_WINDOWS_TITLE_RULE)
configure_file(${PROJECT_SOURCE_DIR}/cmake/WindowsReadme.txt.in
  ${PROJECT_BINARY_DIR}/README.txt @ONLY)

install(FILES $<TARGET_FILE:MavrelWAVChorus> $<TARGET_FILE:MavrelFramework>
  DESTINATION . COMPONENT runtime)
if(TARGET wavchorus)
  install(FILES $<TARGET_FILE:wavchorus> DESTINATION . COMPONENT runtime)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/include/MavrelWAVChorus.h
  DESTINATION include COMPONENT runtime)
install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION . COMPONENT runtime)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME MavrelWAVChorus)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME MavrelWAVChorus-${PROJECT_VERSION}-${_windows_package_arch})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
include(CPack)
