// The sine and arctangent that a maths-library test program is linked with:
// the platform's own, or a replacement (MathsVariants.c) that takes the place of
// sin and atan for the whole program, the library's engine included.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// What the program's sin and atan are, for its report.
const char* mathsVariantName(void);
// How often the replacements were called, or -1 for the platform's own.
long mathsVariantCalls(void);

#ifdef __cplusplus
}
#endif
