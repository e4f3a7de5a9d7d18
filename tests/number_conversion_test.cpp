// number_conversion: the narrowing to single precision at and beyond the
// edges of the float range, where a plain cast would be undefined.
#include "data/number_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct float_case {
    double value;   // the description's number
    float expected; // what the conversion gives
};

constexpr float largest = std::numeric_limits<float>::max();
constexpr float infinity = std::numeric_limits<float>::infinity();

const float_case float_cases[] = {
    {0.1, 0.1f},
    {16777217.0, 16777216.0f}, // ties to even
    {-0.0, -0.0f},
    {1e-50, 0.0f},             // below the smallest denormal
    {static_cast<double>(largest), largest},
    {-static_cast<double>(largest), -largest},
    // Up to the midpoint between the largest float and 2^128 the nearest float
    // is the largest one; from the midpoint on (a tie, to the even 2^128) it
    // is infinity.
    {3.4028235e38, largest},
    {-3.4028235e38, -largest},
    {0x1.fffffefffffffp127, largest},   // the double just below the midpoint
    {-0x1.fffffefffffffp127, -largest},
    {0x1.ffffffp127, infinity},         // the midpoint, 3.4028235677973366e38
    {-0x1.ffffffp127, -infinity},
    {3.5e38, infinity},
    {-3.5e38, -infinity},
    {1e300, infinity},
    {-1e300, -infinity},
    {std::numeric_limits<double>::infinity(), infinity},
    {-std::numeric_limits<double>::infinity(), -infinity},
};

class to_float_test : public ::testing::TestWithParam<float_case> {};

TEST_P(to_float_test, rounds_to_nearest_and_saturates_to_infinity)
{
    const float_case& c = GetParam();
    const float result = to_float(c.value);
    EXPECT_EQ(result, c.expected) << c.value;
    EXPECT_EQ(std::signbit(result), std::signbit(c.expected)) << c.value;
}

INSTANTIATE_TEST_SUITE_P(values, to_float_test, ::testing::ValuesIn(float_cases));

TEST(to_float, not_a_number_stays_not_a_number)
{
    EXPECT_TRUE(std::isnan(to_float(std::numeric_limits<double>::quiet_NaN())));
}

} // namespace
