# Windows: the C++ run-time, libgcc and the threads library linked into each
# binary, so that the DLLs need nothing but system DLLs and each other.
add_library(mavrel_static_runtime INTERFACE)
if(MINGW)
  target_link_options(mavrel_static_runtime INTERFACE -static)
endif()
