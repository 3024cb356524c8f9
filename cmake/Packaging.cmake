# Packages made with CPack from the install rules. On Linux, `cpack -G DEB` makes
# one Debian package with the library, the header, the CMake and pkg-config files,
# the command-line host and its man page, and the LV2 bundle. Configure with
# -DCMAKE_INSTALL_PREFIX=/usr for it, so that the library lands in the
# system's (multiarch) library directory.
set(MAVREL_WAV_CHORUS_MAINTAINER "MavrelWAVChorus maintainers <maintainers@mavrelwavchorus.invalid>"
    CACHE STRING "Maintainer named in the packages")

set(CPACK_PACKAGE_NAME "MavrelWAVChorus")
set(CPACK_PACKAGE_VENDOR "MavrelWAVChorus")
set(CPACK_PACKAGE_CONTACT "${MAVREL_WAV_CHORUS_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/packages")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/[.]git/" "/build[^/]*/" "/out/")

# Debian: one binary package, named in Debian's lower case.
set(CPACK_DEBIAN_PACKAGE_NAME "mavrelwavchorus")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# The summary line comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A small C library, libMavrelWAVChorus.so.1, with one call, WAVChorus(), that
reads a 16-bit PCM WAV file, sweeps one delay tap of 25 ms by 10 ms with a
0.1 Hz sine, adds it to the dry signal, soft-limits the sum and writes a new
16-bit PCM WAV file. The package holds the library, its C header, the CMake
and pkg-config files, the wavchorus command with its man page and bash
completion, and wavchorus-hosts, which runs it on other machines over ssh with
GNU parallel.")
if(MAVREL_WAV_CHORUS_BUILD_LV2)
  string(APPEND CPACK_DEBIAN_PACKAGE_DESCRIPTION "
It also holds the same chorus, bit for bit, as an LV2 plugin for music hosts,
mono and stereo (MavrelWAVChorus.lv2).")
endif()
# The library's own dependencies (libc, libstdc++, libgcc) come from its ELF
# headers through dpkg-shlibdeps, which dpkg-dev provides.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file, so that packages built against this one depend on it, and the
# ldconfig trigger that goes with a shared library.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

# wavchorus-hosts runs GNU parallel, which sends the files with rsync over ssh.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "parallel, rsync, openssh-client")

include(CPack)
