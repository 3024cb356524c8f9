# Shared by the Debian cross toolchains: set _triple (the GNU triplet of the
# cross compiler) and _qemu (the qemu-user program) before including this file.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${_triple}-gcc)
set(CMAKE_CXX_COMPILER ${_triple}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(MAVREL_QEMU NAMES ${_qemu} ${_qemu}-static NO_CMAKE_FIND_ROOT_PATH)
if(MAVREL_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MAVREL_QEMU} -L /usr/${_triple})
endif()
