// PNG pictures: what is written reads back pixel for pixel and the right way
// up; damaged input and a full disk are reported, never half-decoded.
#include "tests/support/test_util.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <vector>

namespace {

std::vector<unsigned char> write_to_memory(int w, int h, const unsigned char *rgb, int bottom_up)
{
    char *buf = nullptr;
    size_t size = 0;
    FILE *f = open_memstream(&buf, &size);
    EXPECT_EQ(png_write_rgb(f, w, h, rgb, bottom_up), 1);
    fclose(f);
    std::vector<unsigned char> bytes(buf, buf + size);
    free(buf);
    return bytes;
}

TEST(Png, WrittenPixelsReadBackAndBottomUpRowsAreFlipped)
{
    const int w = 3, h = 2;
    // Row 0 red, green, blue; row 1 white, black, grey.
    const unsigned char rgb[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 7, 8, 9};
    for (int bottom_up = 0; bottom_up <= 1; bottom_up++) {
        std::vector<unsigned char> png = write_to_memory(w, h, rgb, bottom_up);
        int rw = 0, rh = 0;
        unsigned char *px = png_read_rgba(png.data(), png.size(), &rw, &rh);
        ASSERT_NE(px, nullptr);
        ASSERT_EQ(rw, w);
        ASSERT_EQ(rh, h);
        for (int y = 0; y < h; y++) {
            int src = bottom_up ? h - 1 - y : y;
            for (int x = 0; x < w; x++) {
                for (int c = 0; c < 3; c++)
                    EXPECT_EQ(px[(y * w + x) * 4 + c], rgb[(src * w + x) * 3 + c]);
                EXPECT_EQ(px[(y * w + x) * 4 + 3], 255);
            }
        }
        free(px);
    }
}

TEST(Png, DamagedOrTruncatedInputAndAFullDiskAreRefused)
{
    const unsigned char rgb[4 * 4 * 3] = {};
    std::vector<unsigned char> png = write_to_memory(4, 4, rgb, 0);
    int w = -1, h = -1;
    for (size_t cut : {size_t(0), size_t(7), size_t(20), png.size() / 2, png.size() - 13}) {
        EXPECT_EQ(png_read_rgba(png.data(), cut, &w, &h), nullptr) << "cut at " << cut;
    }
    std::vector<unsigned char> bad = png;
    bad[1] = 'X';
    EXPECT_EQ(png_read_rgba(bad.data(), bad.size(), &w, &h), nullptr);
    EXPECT_EQ(w, -1);

    EXPECT_EQ(png_write_rgb(nullptr, 4, 4, rgb, 0), 0);
    FILE *full = fopen("/dev/full", "wb");
    if (full) {
        EXPECT_EQ(png_write_rgb(full, 4, 4, rgb, 0), 0);
        fclose(full);
    }
}

} // namespace
