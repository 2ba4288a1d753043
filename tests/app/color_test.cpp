// Colours from hues.
#include "tests/support/test_util.h"

#include <gtest/gtest.h>

namespace {

void expect_rgb(Color c, float r, float g, float b)
{
    EXPECT_NEAR(c.r, r, 1e-6f);
    EXPECT_NEAR(c.g, g, 1e-6f);
    EXPECT_NEAR(c.b, b, 1e-6f);
}

TEST(HslToRgb, PrimaryAndSecondaryHues)
{
    expect_rgb(hsl_to_rgb(0, 1, 0.5f), 1, 0, 0);
    expect_rgb(hsl_to_rgb(120, 1, 0.5f), 0, 1, 0);
    expect_rgb(hsl_to_rgb(240, 1, 0.5f), 0, 0, 1);
    expect_rgb(hsl_to_rgb(60, 1, 0.5f), 1, 1, 0);
}

TEST(HslToRgb, HueIsWholeDegreesOfTheAbsoluteValueModulo360)
{
    Color a = hsl_to_rgb(360, 1, 0.5f), b = hsl_to_rgb(0, 1, 0.5f);
    EXPECT_EQ(memcmp(&a, &b, sizeof a), 0);
    a = hsl_to_rgb(240.9f, 1, 0.5f), b = hsl_to_rgb(240, 1, 0.5f);
    EXPECT_EQ(memcmp(&a, &b, sizeof a), 0);
    a = hsl_to_rgb(-90, 1, 0.5f), b = hsl_to_rgb(90, 1, 0.5f);
    EXPECT_EQ(memcmp(&a, &b, sizeof a), 0);
    expect_rgb(a, 0.5f, 1, 0);
    a = hsl_to_rgb(361, 1, 0.5f), b = hsl_to_rgb(1, 1, 0.5f);
    EXPECT_EQ(memcmp(&a, &b, sizeof a), 0);
    // Far beyond the range of int: still whole degrees modulo 360.
    a = hsl_to_rgb(3.6e12f, 1, 0.5f);
    EXPECT_GE(a.r, 0.0f);
    EXPECT_LE(a.r, 1.0f);
}

TEST(HslToRgb, ZeroSaturationIsGrey)
{
    expect_rgb(hsl_to_rgb(77, 0, 0.3f), 0.3f, 0.3f, 0.3f);
    expect_rgb(hsl_to_rgb(-500, 0, 0.3f), 0.3f, 0.3f, 0.3f);
}

TEST(HslToRgb, SinglePrecisionSteps)
{
    // 241 degrees: red ramps up from blue, k + 1/3 - 1 in single precision.
    Color c = hsl_to_rgb(241, 1, 0.5f);
    float k = 241.0f / 360.0f;
    float t = k + 1.0f / 3.0f - 1.0f;
    float expected = 0.0f + (1.0f - 0.0f) * 6.0f * t;
    EXPECT_EQ(c.r, expected);
    EXPECT_EQ(c.g, 0.0f);
    EXPECT_EQ(c.b, 1.0f);
}

TEST(ColourState, StartValuesAndPlasmaColours)
{
    start_program(10);
    EXPECT_EQ(hue1, 241.0f);
    EXPECT_EQ(hue2, 239.0f);
    EXPECT_NEAR(hue1_color.r, 1.0f / 60, 1e-5f);
    EXPECT_NEAR(hue1_color.b, 1.0f, 1e-6f);
    EXPECT_NEAR(hue2_color.g, 1.0f / 60, 1e-5f);
    EXPECT_NEAR(plasma_color1[0], 0.3333f, 1e-3f);
    EXPECT_EQ(plasma_color1[1], 0.0f);
    EXPECT_NEAR(plasma_color1[2], 20.0f, 1e-5f);
    EXPECT_NEAR(plasma_color2[1], 0.3333f, 1e-3f);
    EXPECT_GE(dye_hue, 0.0f);
    EXPECT_LT(dye_hue, 360.0f);
    Color d = hsl_to_rgb(dye_hue, 1, 0.5f);
    EXPECT_EQ(memcmp(&d, &dye_color, sizeof d), 0);
}

TEST(ColourState, RandomHueColourIsWholeDegree)
{
    program_srand(5);
    int n = program_rand() % 360;
    program_srand(5);
    Color c = random_hue_color();
    Color e = hsl_to_rgb((float)n, 1, 0.5f);
    EXPECT_EQ(memcmp(&c, &e, sizeof c), 0);
}

} // namespace
