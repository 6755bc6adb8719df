// The generators' own elementary functions agree with the C library to a
// few units in the last place over the ranges the generators use, and keep
// their identities exactly where the generators rely on them.
#include <gtest/gtest.h>

#include <cmath>

#include "datagen/dmath.h"

namespace {

// Within `ulps` units in the last place of the library's value (or an
// absolute 1e-300 for results at zero).
void expect_close(double got, double want, int ulps, const char* what, double x) {
    double tolerance = ulps * std::fabs(want) * 2.220446049250313e-16 + 1e-300;
    EXPECT_NEAR(got, want, tolerance) << what << "(" << x << ")";
}

TEST(dmath, MatchesTheLibraryAcrossTheGeneratorsRanges) {
    for (int k = -4000; k <= 4000; k++) {
        double x = k * 0.01 + 0.003 * (k % 7);  // -40 .. 40, not on a lattice
        // Near the zeros of sin and cos the error is absolute, not relative.
        EXPECT_NEAR(dmath::sin(x), std::sin(x), 4e-16 * (1 + std::fabs(x))) << x;
        EXPECT_NEAR(dmath::cos(x), std::cos(x), 4e-16 * (1 + std::fabs(x))) << x;
        expect_close(dmath::atan(x), std::atan(x), 4, "atan", x);
        expect_close(dmath::exp(x * 0.5), std::exp(x * 0.5), 4, "exp", x * 0.5);
        if (x > 0) {
            expect_close(dmath::log(x), std::log(x), 4, "log", x);
            expect_close(dmath::pow(x, 1.6), std::pow(x, 1.6), 64, "pow", x);  // x^1.6 through exp(1.6 log x)
        }
        for (double y : {-3.0, -0.5, 0.0, 0.25, 2.0}) {
            double a = dmath::atan2(y, x), b = std::atan2(y, x);
            EXPECT_NEAR(a, b, 8e-16 * (1 + std::fabs(b))) << "atan2(" << y << ", " << x << ")";
        }
        if (std::fabs(x) <= 1) expect_close(dmath::asin(x), std::asin(x), 8, "asin", x);
        if (std::fabs(std::cos(x)) > 0.01) {
            EXPECT_NEAR(dmath::tan(x), std::tan(x), 1e-13 * (1 + std::fabs(std::tan(x)))) << x;
        }
    }
    EXPECT_EQ(dmath::hypot(3, 4), 5);
}

TEST(dmath, EdgesAndExactValues) {
    EXPECT_EQ(dmath::sin(0), 0);
    EXPECT_EQ(dmath::cos(0), 1);
    EXPECT_EQ(dmath::exp(0), 1);
    EXPECT_EQ(dmath::log(1), 0);
    EXPECT_EQ(dmath::pow(0, 2), 0);
    EXPECT_EQ(dmath::pow(7, 0), 1);
    EXPECT_EQ(dmath::atan2(0, -1), dmath::pi);
    EXPECT_EQ(dmath::atan2(1, 0), dmath::pi / 2);
    EXPECT_TRUE(std::isnan(dmath::log(-1)));
    EXPECT_TRUE(std::isnan(dmath::pow(-2, 0.5)));
    EXPECT_TRUE(std::isnan(dmath::sin(INFINITY)));
    EXPECT_EQ(dmath::exp(-800), 0);
    EXPECT_TRUE(std::isinf(dmath::exp(800)));
}

}  // namespace
