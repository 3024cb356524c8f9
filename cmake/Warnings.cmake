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
# 32-bit x86 compilers keep doubles in the x87 unit's 80-bit registers and round
# them to double only when they are stored, so a product could be rounded once
# or twice depending on where the compiler spills it. SSE2 rounds every operation
# to double, as written; 32-bit Windows itself has required SSE2 since Windows 8.
# (Emscripten calls its processor x86 too, but WebAssembly rounds every
# operation to double anyway.)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang" AND CMAKE_SIZEOF_VOID_P EQUAL 4
   AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86|X86)$" AND NOT EMSCRIPTEN)
  target_compile_options(mavrel_exact_fp INTERFACE -msse2 -mfpmath=sse)
endif()
