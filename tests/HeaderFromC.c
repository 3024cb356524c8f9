/* The public header compiles as C11 and its declaration is usable from C. */
#include "MavrelWAVChorus.h"

int32_t (*const wavChorusFromC)(const char16_t*, const char16_t*) = WAVChorus;

int headerFromCFailureCodesAreNegative(void) {
    return WAVCHORUS_ERR_NULL_PATH < 0 && WAVCHORUS_ERR_NO_MEMORY < 0 && WAVCHORUS_OK == 999;
}
