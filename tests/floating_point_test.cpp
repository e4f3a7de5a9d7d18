// Tests of the floating-point mode: after enable_flush_to_zero a denormal
// result becomes 0 and a denormal input counts as 0.
#include "platform/floating_point.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <xmmintrin.h>

namespace {

// Keeps the compiler from folding the arithmetic at compile time.
float opaque(float value)
{
    volatile float v = value;
    return v;
}

class floating_point_test : public ::testing::Test {
protected:
    void SetUp() override { saved = _mm_getcsr(); }
    void TearDown() override { _mm_setcsr(saved); }
    unsigned int saved = 0; // MXCSR before the test, restored after it
};

TEST_F(floating_point_test, denormals_flush_to_zero_once_enabled)
{
    const float denormal = FLT_MIN / 4.0f;
    ASSERT_GT(opaque(FLT_MIN) / opaque(4.0f), 0.0f); // default mode keeps denormals
    EXPECT_FALSE(flush_to_zero_enabled());

    enable_flush_to_zero();

    EXPECT_TRUE(flush_to_zero_enabled());
    EXPECT_EQ(opaque(FLT_MIN) / opaque(4.0f), 0.0f);       // result flushed
    EXPECT_EQ(opaque(denormal) * opaque(1.0f), 0.0f);      // input read as zero
    EXPECT_EQ(opaque(1.5f) * opaque(2.0f), 3.0f);          // normal values untouched
}

} // namespace
