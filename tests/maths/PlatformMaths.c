/* The platform's own sin and atan: nothing is replaced. */
#include "MathsVariant.h"

const char* mathsVariantName(void) {
    return "the platform's";
}

long mathsVariantCalls(void) {
    return -1;
}
