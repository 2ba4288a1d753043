// PNG pictures: what is written reads back pixel for pixel and the right way
// up; damaged input and a full disk are reported, never half-decoded. F12's
// screenshots: their folder and names, no file ever replaced, failures
// named on screen.
#include "tests/support/test_util.h"

#include <gtest/gtest.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
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

// A fresh working directory for the screenshots folder.
class Screenshots : public ::testing::Test {
protected:
    std::string dir;
    char cwd[4096];
    // Two rows as GL reads them, bottom first: red, green over blue, white.
    const unsigned char rgb[12] = {0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 255, 0};
    char path[256];
    void SetUp() override
    {
        start_program(10);
        dir = make_temp_dir();
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        ASSERT_EQ(chdir(dir.c_str()), 0);
    }
    void TearDown() override
    {
        EXPECT_EQ(chdir(cwd), 0);
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    int shoot(void) { return write_screenshot("20250102-030405", 2, 2, rgb, path, sizeof path); }
};

TEST_F(Screenshots, TheFolderIsMadeAndNoFileIsEverReplaced)
{
    ASSERT_EQ(shoot(), 0);
    EXPECT_STREQ(path, "screenshots/fluxball-20250102-030405.png");
    std::string png = read_file(path);
    int w = 0, h = 0;
    unsigned char *px = png_read_rgba((const unsigned char *)png.data(), png.size(), &w, &h);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(px[0], 255);                  // the top row first: red
    EXPECT_EQ(px[1], 0);
    free(px);

    // Taken names are skipped, a dangling link's among them (its target is
    // never made); the file that holds "-2" is left as it was.
    write_file("screenshots/fluxball-20250102-030405-2.png", "keep");
    ASSERT_EQ(symlink("../elsewhere.png", "screenshots/fluxball-20250102-030405-3.png"), 0);
    ASSERT_EQ(shoot(), 0);
    EXPECT_STREQ(path, "screenshots/fluxball-20250102-030405-4.png");
    EXPECT_EQ(read_file("screenshots/fluxball-20250102-030405-2.png"), "keep");
    EXPECT_NE(access("elsewhere.png", F_OK), 0);
    EXPECT_EQ(read_file("screenshots/fluxball-20250102-030405.png"), png);
}

// The launcher links "screenshots" to a pictures folder that may not exist
// yet: the shot makes it.
TEST_F(Screenshots, ALinkToAMissingFolderGetsItsFolder)
{
    ASSERT_EQ(symlink("pictures", "screenshots"), 0);
    ASSERT_EQ(shoot(), 0);
    struct stat st;
    EXPECT_EQ(stat("pictures/fluxball-20250102-030405.png", &st), 0);
}

TEST_F(Screenshots, AFailedShotLeavesNoFileAndSaysWhyOnScreen)
{
    write_file("screenshots", "a file in the folder's place");
    EXPECT_EQ(shoot(), ENOTDIR);
    EXPECT_EQ(write_screenshot("x", 2, 2, nullptr, path, sizeof path), ENOMEM);
    EXPECT_EQ(read_file("screenshots"), "a file in the folder's place");
    // No window has these sizes: refused before any pixel is read.
    EXPECT_EQ(write_screenshot("x", MAX_WINDOW_SIDE + 1, 1, rgb, path, sizeof path), EINVAL);
    EXPECT_EQ(write_screenshot("x", 1, MAX_WINDOW_SIDE + 1, rgb, path, sizeof path), EINVAL);
    EXPECT_EQ(write_screenshot("x", 0, 0, rgb, path, sizeof path), EINVAL);

    stub_elapsed_ms = 5000;
    std::string out = capture_stdout([] {
        const unsigned char px[3] = {1, 2, 3};
        take_screenshot(1, 1, px);
    });
    EXPECT_EQ(std::string(screen_notice).rfind("Screenshot failed: ", 0), 0u) << screen_notice;
    EXPECT_EQ(out, std::string(screen_notice) + "\n");
    EXPECT_EQ(screen_notice_until_ms, 5000 + NOTICE_MS);
    // A replay's clock may read anything: the time the notice ends wraps.
    stub_elapsed_ms = INT_MAX - 100;
    capture_stdout([] { take_screenshot(1, 1, nullptr); });
    EXPECT_EQ(screen_notice_until_ms, INT_MIN + NOTICE_MS - 101);

    unlink("screenshots");
    capture_stdout([] {
        const unsigned char px[3] = {1, 2, 3};
        take_screenshot(1, 1, px);
    });
    EXPECT_EQ(std::string(screen_notice).rfind("Screenshot saved: screenshots/fluxball-", 0), 0u)
        << screen_notice;
}

} // namespace
