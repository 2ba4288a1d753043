// color.cpp -- colours from hues, and the program's colour state: the ink
// hue and the two hues of the 3-D density view.
#include "app/app.h"

#include <cmath>
#include <cstdlib>

float dye_hue, hue1, hue2;
Color dye_color, hue1_color, hue2_color;
float plasma_color1[3], plasma_color2[3];

static const float ONE_THIRD = 1.0f / 3.0f;    // 0.33333334
static const float TWO_THIRDS = 2.0f / 3.0f;   // 0.6666667
static const float FULL_CIRCLE = 360.0f;       // degrees
static const float PLASMA_GAIN = 20.0f;
static const float START_HUE1 = 241.0f;
static const float START_HUE2 = 239.0f;

static float hue_channel(float p, float q, float t)
{
    if (t < 0.0f) t += 1.0f;
    if (t > 1.0f) t -= 1.0f;
    if (6.0f * t < 1.0f) return p + (q - p) * 6.0f * t;
    if (2.0f * t < 1.0f) return q;
    if (3.0f * t < 2.0f) return p + (q - p) * (TWO_THIRDS - t) * 6.0f;
    return p;
}

Color hsl_to_rgb(float h, float s, float l)
{
    Color c = {l, l, l, HUE_COLOR_ALPHA};
    if (s == 0.0f) return c;
    // Whole degrees of the absolute hue, modulo 360: a negative hue mirrors.
    // fmod of a truncated float is exact, so this equals the integer
    // remainder for every hue, also those beyond the range of int.
    float hue = std::fmod(std::trunc(std::fabs(h)), FULL_CIRCLE);
    float q = l < 0.5f ? l * (1.0f + s) : l + s - l * s;
    float p = 2.0f * l - q;
    float k = hue / FULL_CIRCLE;
    c.r = hue_channel(p, q, k + ONE_THIRD);
    c.g = hue_channel(p, q, k);
    c.b = hue_channel(p, q, k - ONE_THIRD);
    return c;
}

Color random_hue_color(void)
{
    return hsl_to_rgb((float)(program_rand() % 360), 1.0f, 0.5f);
}

void set_plasma_colors(Color c1, Color c2)
{
    plasma_color1[0] = c1.r * PLASMA_GAIN;
    plasma_color1[1] = c1.g * PLASMA_GAIN;
    plasma_color1[2] = c1.b * PLASMA_GAIN;
    plasma_color2[0] = c2.r * PLASMA_GAIN;
    plasma_color2[1] = c2.g * PLASMA_GAIN;
    plasma_color2[2] = c2.b * PLASMA_GAIN;
}

void init_colors(void)
{
    dye_hue = (float)(program_rand() % 360);
    hue1 = START_HUE1;
    hue2 = START_HUE2;
    dye_color = hsl_to_rgb(dye_hue, 1.0f, 0.5f);
    hue1_color = hsl_to_rgb(hue1, 1.0f, 0.5f);
    hue2_color = hsl_to_rgb(hue2, 1.0f, 0.5f);
    set_plasma_colors(hue1_color, hue2_color);
}
