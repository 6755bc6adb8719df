// The generators' own elementary functions. The default data must come out
// byte for byte the same on every machine and every C library: players whose
// tracks differ in one bit cannot race each other. IEEE 754 rounds + - * /
// and sqrt correctly everywhere, but says nothing of exp, sin, cos and the
// rest, so the generators take those from here: argument reduction and
// polynomials built from the correctly rounded operations alone (the build
// keeps the compiler from fusing a multiply and an add). Accurate to a few
// units in the last place, which no generator needs more of.
#pragma once

namespace dmath {

constexpr double pi = 3.14159265358979323846;

double sin(double x);
double cos(double x);
double tan(double x);
double exp(double x);
// Natural logarithm; NaN below 0, -infinity at 0.
double log(double x);
// x^y for x >= 0 (0^y is 0 for y > 0, 1 for y == 0); NaN for x < 0.
double pow(double x, double y);
double atan(double x);
double atan2(double y, double x);
double asin(double x);
// sqrt(x^2 + y^2): no care for overflow, the generators' lengths are small.
double hypot(double x, double y);

}  // namespace dmath
