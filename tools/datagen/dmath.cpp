#include "datagen/dmath.h"

#include <cmath>
#include <limits>

// Only + - * /, sqrt and the exact operations (floor, frexp, ldexp, fabs)
// below; the series are evaluated by Horner's rule in a fixed order.

namespace dmath {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// pi/2 in three parts; the first two carry 33 bits, so k times them is exact
// for every k the generators produce.
constexpr double half_pi_1 = 1.57079632673412561417e+00;
constexpr double half_pi_2 = 6.07710050630396597660e-11;
constexpr double half_pi_3 = 2.02226624871116645580e-21;
constexpr double two_over_pi = 6.36619772367581382433e-01;

// ln 2 in two parts; the first has trailing zero bits for the same reason.
constexpr double ln2_hi = 6.93147180369123816490e-01;
constexpr double ln2_lo = 1.90821492927058770002e-10;
constexpr double inverse_ln2 = 1.44269504088896338700e+00;

// sin and cos on |r| <= pi/4 by their Taylor series in nested form,
// sin r = r (1 - r^2/(2*3) (1 - r^2/(4*5) (1 - ...))); the last term is below
// 1e-19.
double sin_kernel(double r) {
    double z = r * r, p = 1;
    for (int n = 17; n >= 3; n -= 2) p = 1 - p * z / (n * (n - 1));
    return r * p;
}

double cos_kernel(double r) {
    double z = r * r, p = 1;
    for (int n = 18; n >= 2; n -= 2) p = 1 - p * z / (n * (n - 1));
    return p;
}

// x = k pi/2 + r with |r| <= about pi/4; k modulo 4 decides the quadrant.
int reduce(double x, double& r) {
    double k = std::floor(x * two_over_pi + 0.5);
    r = ((x - k * half_pi_1) - k * half_pi_2) - k * half_pi_3;
    double q = k - 4.0 * std::floor(k * 0.25);
    return (int)q;
}

// atan on |t| <= tan(pi/12): Taylor series to t^31.
double atan_kernel(double t) {
    double z = t * t;
    double p = 0;
    for (int n = 31; n >= 3; n -= 2) p = p * z + ((n & 2) ? -1.0 : 1.0) / n;
    return t + t * z * p;
}

}  // namespace

double sin(double x) {
    if (!std::isfinite(x)) return nan;
    double r;
    switch (reduce(x, r)) {
        case 0: return sin_kernel(r);
        case 1: return cos_kernel(r);
        case 2: return -sin_kernel(r);
        default: return -cos_kernel(r);
    }
}

double cos(double x) {
    if (!std::isfinite(x)) return nan;
    double r;
    switch (reduce(x, r)) {
        case 0: return cos_kernel(r);
        case 1: return -sin_kernel(r);
        case 2: return -cos_kernel(r);
        default: return sin_kernel(r);
    }
}

double tan(double x) { return sin(x) / cos(x); }

double exp(double x) {
    if (x != x) return nan;
    if (x > 709.0) return std::numeric_limits<double>::infinity();
    if (x < -745.0) return 0.0;
    double k = std::floor(x * inverse_ln2 + 0.5);
    double r = (x - k * ln2_hi) - k * ln2_lo;  // |r| <= about 0.35
    // exp r = 1 + r (1 + r/2 (1 + r/3 (...))) to r^16, the last term below 1e-20.
    double p = 1;
    for (int n = 16; n >= 1; n--) p = 1 + p * r / n;
    return std::ldexp(p, (int)k);
}

double log(double x) {
    if (x != x || x < 0) return nan;
    if (x == 0) return -std::numeric_limits<double>::infinity();
    if (std::isinf(x)) return x;
    int e;
    double m = std::frexp(x, &e);  // m in [0.5, 1)
    if (m < 0.70710678118654752440) {
        m *= 2;
        e--;
    }
    // log m = 2 atanh(s), s = (m - 1) / (m + 1), |s| <= 0.172.
    double f = m - 1;
    double s = f / (2 + f), z = s * s;
    double p = 0;
    for (int n = 23; n >= 3; n -= 2) p = p * z + 1.0 / n;
    double series = 2 * s + 2 * s * z * p;
    return e * ln2_hi + (series + e * ln2_lo);
}

double pow(double x, double y) {
    if (x != x || y != y || x < 0) return nan;
    if (y == 0) return 1.0;
    if (x == 0) return y > 0 ? 0.0 : std::numeric_limits<double>::infinity();
    if (x == 1) return 1.0;
    return exp(y * log(x));
}

double atan(double x) {
    if (x != x) return nan;
    bool negative = x < 0;
    double a = std::fabs(x);
    bool inverted = a > 1;
    if (inverted) a = 1 / a;
    // Down to |t| <= tan(pi/12) by atan a = pi/6 + atan((a sqrt 3 - 1) / (a + sqrt 3)).
    constexpr double tan_pi_12 = 0.26794919243112270647;
    double result;
    if (a > tan_pi_12) {
        double root3 = std::sqrt(3.0);
        result = pi / 6 + atan_kernel((a * root3 - 1) / (a + root3));
    } else {
        result = atan_kernel(a);
    }
    if (inverted) result = pi / 2 - result;
    return negative ? -result : result;
}

double atan2(double y, double x) {
    if (x != x || y != y) return nan;
    if (x == 0) {
        if (y == 0) return std::signbit(x) ? (std::signbit(y) ? -pi : pi) : y;
        return y > 0 ? pi / 2 : -pi / 2;
    }
    double a = atan(y / x);
    if (x > 0) return a;
    return std::signbit(y) ? a - pi : a + pi;
}

double asin(double x) {
    if (x != x || x > 1 || x < -1) return nan;
    return atan2(x, std::sqrt((1 - x) * (1 + x)));
}

double hypot(double x, double y) { return std::sqrt(x * x + y * y); }

}  // namespace dmath
