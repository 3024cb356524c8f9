# The Windows package, made with `cpack -G ZIP` in the Windows build: the DLL,
# the framework's DLL beside it, wavchorus.exe, the public header and a short
# readme.
install(FILES $<TARGET_FILE:MavrelWAVChorus> $<TARGET_FILE:MavrelFramework>
  DESTINATION . COMPONENT runtime)
if(TARGET wavchorus)
  install(FILES $<TARGET_FILE:wavchorus> DESTINATION . COMPONENT runtime)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/include/MavrelWAVChorus.h
  DESTINATION include COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/WindowsReadme.txt
  DESTINATION . RENAME README.txt COMPONENT runtime)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME MavrelWAVChorus)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME MavrelWAVChorus-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
include(CPack)
