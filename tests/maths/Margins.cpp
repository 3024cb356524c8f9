// maths_margins [TABLES]: how far the values of the signal path keep from a
// truncation boundary, so that no accurate sine or arctangent can change an
// output. Prints the figures as Markdown (and writes them to TABLES) and fails
// when a claim below does not hold.
//
// The delay at oscillator frame c is trunc(depth x sin(theta) + baseDelay) with
// theta = (c x phase factor) / rate, all in doubles; the limiter's output for a
// mix k is trunc(atan(k x 2^-15) x limiter gain x 32767). Only the sine and the
// arctangent depend on the maths library. For every frame of a whole cycle at
// each common rate, and for every mix value, this measures:
//   - the distance of the true value (the exact sine or arctangent, the rest as
//     the doubles give it) from the nearest whole number that truncation turns
//     on (the delay is at least 120, so every whole number is one; an output
//     within (-1, 1) truncates to 0 either side of 0);
//   - the least change of the double that the sine or arctangent returns, in
//     units in the last place and in absolute terms, that changes the result,
//     found by trying the doubles around the correctly rounded value.
// Exact cases, where the true value is a whole number to within 1e-15, are
// named apart: the frames where theta is 0 or a quarter cycle and the value is
// whole there.
//
// Claims checked:
//   - the correctly rounded sine and arctangent (MPFR) give the platform's
//     delay at every frame and the platform's output at every mix value. Frames
//     whose value the platform puts farther than 1e-4 from a whole number are
//     not recomputed: a sine in error by 5e-8 would be needed to move them;
//   - exact cases occur at the named frames and nowhere else;
//   - away from them, no sine or arctangent that is off by less than
//     kGuaranteedUlps units in the last place, or by less than
//     kGuaranteedAbsolute, changes a result.
#include "ChorusConstants.h"
#include "CommonRates.h"
#include "LimiterTable.h"

#include <mpfr.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace mavrel::chorus_constants;

constexpr std::int64_t kGuaranteedUlps = 40000;
constexpr double kGuaranteedAbsolute = 1e-12;
constexpr double kNear = 1e-4;   // recompute with MPFR below this distance
constexpr double kExact = 1e-15; // a whole number, but for the sine's rounding

int failures = 0;

void fail(const std::string& what) {
    ++failures;
    std::fprintf(stderr, "FAIL: %s\n", what.c_str());
}

// x moved by k doubles (k > 0: towards +infinity).
double moved(double x, std::int64_t k) {
    auto bits = std::bit_cast<std::int64_t>(x);
    std::int64_t ordered = bits >= 0 ? bits : INT64_MIN - bits;
    ordered += k;
    bits = ordered >= 0 ? ordered : INT64_MIN - ordered;
    return std::bit_cast<double>(bits);
}

// The least number of doubles by which x must move in the direction dir to
// change result(x), the moved value staying within [lo, hi]; 0 when none does.
// result is monotonic, so a change once met stays.
template <class Result>
std::int64_t leastChange(double x, int dir, double lo, double hi, Result result) {
    const auto r0 = result(x);
    const auto inside = [&](std::int64_t k) {
        const double m = moved(x, dir * k);
        return m >= lo && m <= hi;
    };
    const auto changes = [&](std::int64_t k) { return result(moved(x, dir * k)) != r0; };
    std::int64_t same = 0; // the largest move known to keep the result
    std::int64_t k = 1;
    for (;;) {
        if (!inside(k)) {
            // The last move inside the range, between same and k.
            std::int64_t out = k;
            while (out - same > 1) {
                const std::int64_t mid = same + (out - same) / 2;
                if (inside(mid) && !changes(mid)) {
                    same = mid;
                } else if (inside(mid)) {
                    out = mid;
                    k = mid;
                    break;
                } else {
                    out = mid;
                }
            }
            if (!inside(k) || !changes(k)) {
                return 0;
            }
            break;
        }
        if (changes(k)) {
            break;
        }
        same = k;
        if (k > (std::int64_t{1} << 61)) {
            return 0;
        }
        k *= 2;
    }
    while (k - same > 1) { // no change at same, a change at k
        const std::int64_t mid = same + (k - same) / 2;
        (changes(mid) ? k : same) = mid;
    }
    return k;
}

struct Tolerance {
    std::int64_t ulps = 0; // 0: nothing changes the result
    double absolute = 0.0;
};

template <class Result> Tolerance toleranceAt(double value, double lo, double hi, Result result) {
    Tolerance t;
    for (const int dir : {1, -1}) {
        const std::int64_t k = leastChange(value, dir, lo, hi, result);
        if (k != 0 && (t.ulps == 0 || k < t.ulps)) {
            t.ulps = k;
            t.absolute = std::fabs(moved(value, dir * k) - value);
        }
    }
    return t;
}

double boundaryDistance(double v) {
    const double a = std::fabs(v);
    if (a < 1) {
        return 1 - a;
    }
    const double f = a - std::floor(a);
    return std::min(f, 1 - f);
}

// High-precision values.
class Exact {
  public:
    Exact() {
        mpfr_inits2(256, x_, y_, (mpfr_ptr) nullptr);
        mpfr_init2(d_, 53);
    }
    Exact(const Exact&) = delete;
    Exact& operator=(const Exact&) = delete;
    ~Exact() { mpfr_clears(x_, y_, d_, (mpfr_ptr) nullptr); }

    // f(x) correctly rounded to double (results are far from subnormal here).
    double rounded(int (*f)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t), double x) {
        mpfr_set_d(d_, x, MPFR_RNDN);
        f(d_, d_, MPFR_RNDN);
        return mpfr_get_d(d_, MPFR_RNDN);
    }
    // f(x) x scale + offset, to 256 bits, and its distance from a boundary.
    double distance(int (*f)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t), double x, double scale,
                    double scale2, double offset) {
        mpfr_set_d(x_, x, MPFR_RNDN);
        f(y_, x_, MPFR_RNDN);
        mpfr_mul_d(y_, y_, scale, MPFR_RNDN);
        mpfr_mul_d(y_, y_, scale2, MPFR_RNDN);
        mpfr_add_d(y_, y_, offset, MPFR_RNDN);
        mpfr_abs(y_, y_, MPFR_RNDN);
        if (mpfr_cmp_ui(y_, 1) < 0) {
            mpfr_ui_sub(y_, 1, y_, MPFR_RNDN);
        } else {
            mpfr_round(x_, y_);
            mpfr_sub(y_, y_, x_, MPFR_RNDN);
            mpfr_abs(y_, y_, MPFR_RNDN);
        }
        return mpfr_get_d(y_, MPFR_RNDN);
    }

  private:
    mpfr_t x_, y_, d_;
};

struct Nearest {
    double distance = 1e9;
    std::int64_t at = -1;
    Tolerance leastUlps{std::int64_t{1} << 62, 1e9};
    std::int64_t leastUlpsAt = -1;
    Tolerance leastAbsolute{std::int64_t{1} << 62, 1e9};
    std::int64_t leastAbsoluteAt = -1;

    void addDistance(std::int64_t where, double d) {
        if (d < distance) {
            distance = d;
            at = where;
        }
    }
    void addTolerance(std::int64_t where, const Tolerance& t) {
        if (t.ulps == 0) {
            return;
        }
        if (t.ulps < leastUlps.ulps) {
            leastUlps = t;
            leastUlpsAt = where;
        }
        if (t.absolute < leastAbsolute.absolute) {
            leastAbsolute = t;
            leastAbsoluteAt = where;
        }
    }
    // Whether a frame whose least change is estimated at these values may hold
    // one of the least: the estimate is good to a factor of 2.
    bool mayHoldLeast(double ulps, double absolute) const {
        return ulps < 4.0 * static_cast<double>(leastUlps.ulps) ||
               absolute < 4.0 * leastAbsolute.absolute;
    }
};

// Fails for a change below either guarantee.
void checkGuarantee(const Tolerance& t, const std::string& where) {
    if (t.ulps != 0 && (t.ulps < kGuaranteedUlps || t.absolute < kGuaranteedAbsolute)) {
        fail(where + ": a change of " + std::to_string(t.ulps) + " ulps (" +
             std::to_string(t.absolute) + ") alters the result");
    }
}

struct ExactCase {
    std::int32_t rate;
    std::int32_t frame;
    double sine;
    std::int32_t delay;
    std::int64_t down; // the least move downwards, in doubles, that alters the delay (0: none)
    std::int64_t up;
};

std::string phaseText(std::int32_t rate, std::int64_t frame) {
    // Quarter cycles as fractions of pi; the oscillator's cycle is 10 x rate frames.
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", 2.0 * static_cast<double>(frame) / (10.0 * rate));
    return text;
}

std::string sci(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2g", v);
    return text;
}

std::string grouped(std::int64_t v) {
    const std::string digits = std::to_string(v);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && digits[i - 1] != '-' && (digits.size() - i) % 3 == 0) {
            out.push_back(',');
        }
        out.push_back(digits[i]);
    }
    return out;
}

std::string delayTables(Exact& exact) {
    std::string table =
        "| Rate (Hz) | Frames | Nearest value to a boundary (samples) | at frame (phase / pi) | "
        "Least sine change that alters a delay, in ulps | at frame | in absolute terms | "
        "at frame |\n"
        "|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    std::vector<ExactCase> exacts;
    for (const std::int32_t rate : maths_test::kCommonRates) {
        const double rateD = rate;
        const double base = rateD * kCentreFactor;
        const double depth = rateD * kDepthFactor;
        const auto delayOf = [&](double s) { return static_cast<std::int32_t>(depth * s + base); };
        const std::int32_t wrap = 10 * rate;
        Nearest nearest;
        std::vector<std::int32_t> exactFrames;
        for (std::int32_t c = 0; c < wrap; ++c) {
            const double theta = (static_cast<double>(c) * kPhaseFactor) / rateD;
            double s = std::sin(theta);
            double d = boundaryDistance(depth * s + base);
            if (d < kNear) {
                const double correct = exact.rounded(mpfr_sin, theta);
                if (delayOf(correct) != delayOf(s)) {
                    fail(std::to_string(rate) + " Hz, frame " + std::to_string(c) +
                         ": the correctly rounded sine gives delay " +
                         std::to_string(delayOf(correct)) + ", the platform's " +
                         std::to_string(delayOf(s)));
                }
                s = correct;
                d = exact.distance(mpfr_sin, theta, depth, 1.0, base);
            }
            if (d < kExact) {
                exactFrames.push_back(c);
                exacts.push_back({rate, c, s, delayOf(s), leastChange(s, -1, -1.0, 1.0, delayOf),
                                  leastChange(s, 1, -1.0, 1.0, delayOf)});
                continue;
            }
            nearest.addDistance(c, d);
            // The least change is about d / depth, give or take a factor of 2 for
            // the size of an ulp either side of a power of 2; only frames that
            // may hold the least are searched.
            const double ulp = std::fabs(moved(s, 1) - s);
            if (!nearest.mayHoldLeast(d / depth / ulp, d / depth)) {
                continue;
            }
            const Tolerance t = toleranceAt(s, -1.0, 1.0, delayOf);
            nearest.addTolerance(c, t);
            checkGuarantee(t, std::to_string(rate) + " Hz, frame " + std::to_string(c));
        }
        // Where the value is whole: theta = 0 when baseDelay is whole, and the
        // quarter cycles (frames 2.5 and 7.5 x rate) when baseDelay +- depth is.
        std::vector<std::int32_t> named;
        if (base == std::floor(base)) {
            named.push_back(0);
        }
        if (rate % 2 == 0 && base + depth == std::floor(base + depth)) {
            named.push_back(rate / 2 * 5);
        }
        if (rate % 2 == 0 && base - depth == std::floor(base - depth)) {
            named.push_back(rate / 2 * 15);
        }
        if (exactFrames != named) {
            fail(std::to_string(rate) + " Hz: " + std::to_string(exactFrames.size()) +
                 " frames with a whole value, not the " + std::to_string(named.size()) +
                 " named ones");
        }
        table += "| " + grouped(rate) + " | " + grouped(wrap) + " | " + sci(nearest.distance) +
                 " | " + grouped(nearest.at) + " (" + phaseText(rate, nearest.at) + ") | " +
                 grouped(nearest.leastUlps.ulps) + " | " + grouped(nearest.leastUlpsAt) + " | " +
                 sci(nearest.leastAbsolute.absolute) + " | " + grouped(nearest.leastAbsoluteAt) +
                 " |\n";
    }

    table += "\n| Rate (Hz) | Frame (phase / pi) | Sine | Delay | The delay stays while the "
             "sine returns |\n|---:|---:|---:|---:|---|\n";
    for (const ExactCase& e : exacts) {
        // What the sine may return instead of its correctly rounded value.
        const auto range = [&](std::int64_t k, int dir) {
            return k == 0 ? std::string(dir < 0 ? "-1" : "1") : sci(moved(e.sine, dir * (k - 1)));
        };
        std::string stays;
        if (e.sine == 1.0) {
            stays = "1, or down to " + std::to_string(e.down - 1) + " ulps below it";
        } else if (e.sine == -1.0) {
            stays = "-1, or up to " + sci(moved(e.sine, e.up - 1) + 1.0) + " above it";
        } else {
            stays = range(e.down, -1) + " to " + range(e.up, 1);
        }
        table += "| " + grouped(e.rate) + " | " + grouped(e.frame) + " (" +
                 phaseText(e.rate, e.frame) + ") | " + sci(e.sine) + " | " +
                 std::to_string(e.delay) + " | " + stays + " |\n";
    }
    return table;
}

std::string limiterTable(Exact& exact) {
    const auto outputOf = [](double a) {
        return static_cast<std::int32_t>(a * kLimiterGain * kOutputScale);
    };
    Nearest nearest;
    for (std::int32_t k = mavrel::kMixMin; k <= mavrel::kMixMax; ++k) {
        const double y = static_cast<double>(k) * kInputScale;
        const double correct = exact.rounded(mpfr_atan, y);
        if (outputOf(correct) != mavrel::limitMixDirect(k)) {
            fail("mix " + std::to_string(k) + ": the correctly rounded arctangent gives " +
                 std::to_string(outputOf(correct)) + ", the library " +
                 std::to_string(mavrel::limitMixDirect(k)));
        }
        const double d = exact.distance(mpfr_atan, y, kLimiterGain, kOutputScale, 0.0);
        const Tolerance t = toleranceAt(correct, -2.0, 2.0, outputOf);
        nearest.addDistance(k, d);
        nearest.addTolerance(k, t);
        checkGuarantee(t, "mix " + std::to_string(k));
    }
    return "| Mix values | Nearest value to a boundary (output units) | at mix k | Least "
           "arctangent change that alters an output, in ulps | at mix k | in absolute terms | "
           "at mix k |\n|---:|---:|---:|---:|---:|---:|---:|\n| " +
           grouped(static_cast<std::int64_t>(mavrel::kMixValues)) + " | " + sci(nearest.distance) +
           " | " + grouped(nearest.at) + " | " + grouped(nearest.leastUlps.ulps) + " | " +
           grouped(nearest.leastUlpsAt) + " | " + sci(nearest.leastAbsolute.absolute) + " | " +
           grouped(nearest.leastAbsoluteAt) + " |\n";
}

} // namespace

int main(int argc, char** argv) {
    Exact exact;
    const std::string tables = delayTables(exact) + "\n" + limiterTable(exact);
    std::fputs(tables.c_str(), stdout);
    if (argc > 1) {
        std::FILE* f = std::fopen(argv[1], "w");
        if (f == nullptr || std::fputs(tables.c_str(), f) < 0 || std::fclose(f) != 0) {
            fail(std::string("cannot write ") + argv[1]);
        }
    }
    if (failures != 0) {
        std::fprintf(stderr, "%d claims failed\n", failures);
        return 1;
    }
    return 0;
}
