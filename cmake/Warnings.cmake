# Compiler warnings for the project's own targets, as an interface target.
add_library(mavrel_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(mavrel_warnings INTERFACE -Wall -Wextra -Wpedantic -Wconversion)
endif()

# The signal path is rounded as written: no fused multiply-add.
add_library(mavrel_exact_fp INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(mavrel_exact_fp INTERFACE -ffp-contract=off)
endif()
