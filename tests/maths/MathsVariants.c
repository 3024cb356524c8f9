/*
 * sin and atan replaced at link time: defined here, they take the place of the
 * maths library's for every caller in the program, the library's static engine
 * included. Each is computed correctly rounded with MPFR, then moved by some
 * units in the last place, as another maths library might round:
 *
 *   MATHS_MOVE n       every result moved by n units (n < 0: downwards)
 *   MATHS_SCATTER n    each result moved by -n to n units, by a hash of the argument
 *   MATHS_KEEP_EXACT   0 when the exact results 0, 1 and -1 are moved as well
 *   MATHS_VARIANT_NAME what the program reports
 *
 * A sine is kept within [-1, 1].
 */
#include "MathsVariant.h"

#include <mpfr.h>

#include <stdint.h>
#include <string.h>

#ifndef MATHS_MOVE
#define MATHS_MOVE 0
#endif
#ifndef MATHS_SCATTER
#define MATHS_SCATTER 0
#endif
#ifndef MATHS_KEEP_EXACT
#define MATHS_KEEP_EXACT 1
#endif

static long calls = 0;

const char* mathsVariantName(void) {
    return MATHS_VARIANT_NAME;
}

long mathsVariantCalls(void) {
    return calls;
}

/* x moved by k doubles (k > 0: towards +infinity). The bit patterns, read as
 * sign and magnitude, are put on one ordered integer line. */
static double moved(double x, int64_t k) {
    int64_t bits = 0;
    memcpy(&bits, &x, sizeof bits);
    int64_t ordered = bits >= 0 ? bits : INT64_MIN - bits;
    ordered += k;
    bits = ordered >= 0 ? ordered : INT64_MIN - ordered;
    memcpy(&x, &bits, sizeof x);
    return x;
}

static int64_t moveFor(double argument) {
#if MATHS_SCATTER > 0
    uint64_t h = 0;
    memcpy(&h, &argument, sizeof h);
    h ^= h >> 33U;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33U;
    return (int64_t)(h % (2U * MATHS_SCATTER + 1U)) - MATHS_SCATTER;
#else
    (void)argument;
    return MATHS_MOVE;
#endif
}

typedef int (*MpfrFunction)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);

/* f(x) rounded to the nearest double, subnormal results included. */
static double correctlyRounded(MpfrFunction f, double x) {
    static int ready = 0;
    if (!ready) {
        /* The exponent range of a double, so that rounding to 53 bits is the
         * rounding to double. */
        mpfr_set_emin(-1073);
        mpfr_set_emax(1024);
        ready = 1;
    }
    mpfr_t v;
    mpfr_init2(v, 53);
    mpfr_set_d(v, x, MPFR_RNDN);
    const int inexact = f(v, v, MPFR_RNDN);
    mpfr_subnormalize(v, inexact, MPFR_RNDN);
    const double r = mpfr_get_d(v, MPFR_RNDN);
    mpfr_clear(v);
    return r;
}

static double variantOf(double argument, double exact) {
    if (MATHS_KEEP_EXACT && (exact == 0.0 || exact == 1.0 || exact == -1.0)) {
        return exact;
    }
    return moved(exact, moveFor(argument));
}

double sin(double x) {
    ++calls;
    double s = variantOf(x, correctlyRounded(mpfr_sin, x));
    if (s > 1.0) {
        s = 1.0;
    } else if (s < -1.0) {
        s = -1.0;
    }
    return s;
}

double atan(double x) {
    ++calls;
    return variantOf(x, correctlyRounded(mpfr_atan, x));
}
