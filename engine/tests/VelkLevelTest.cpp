#include <gtest/gtest.h>

#include <cmath>

#include "engine/VelkLevel.h"

TEST(VelkLevel, RoundsByTheHundredthsDigit)
{
    struct Case {
        double product, level;
    };
    const Case cases[] = {
        {1.0, 0.0},   {2.0, 1.3},   {10.0, 2.0}, {0.6, 0.8}, {0.05, -0.3},
        {std::pow(10.0, 1.349), 2.3}, {std::pow(10.0, 1.351), 2.4}, {std::pow(10.0, 1.399), 2.4},
        {std::pow(10.0, -1.38), -0.3}, {1e300, 301.0},
    };
    for (const Case& c : cases) {
        double a = c.product, b = 1.0, cc = 1.0;
        EXPECT_DOUBLE_EQ(engine::VelkLevel(a, b, cc), c.level) << c.product;
    }
}

TEST(VelkLevel, ZeroFactorsBecomeOneInPlace)
{
    double a = 0.0, b = 2.0, c = 0.0;
    EXPECT_DOUBLE_EQ(engine::VelkLevel(a, b, c), 1.3);
    EXPECT_EQ(a, 1.0);
    EXPECT_EQ(b, 2.0);
    EXPECT_EQ(c, 1.0);
}

TEST(VelkLevel, ProductsWithoutALogarithmGiveZero)
{
    for (double p : {-2.0, double(INFINITY), double(NAN), 1e-320}) {
        double a = p, b = 1.0, c = 1.0;
        const double level = engine::VelkLevel(a, b, c);
        EXPECT_TRUE(std::isfinite(level)) << p;
    }
}
