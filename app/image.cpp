// image.cpp -- PNG pictures through libpng: writing a frame read back from GL
// (screenshots) and decoding a PNG held in memory (the window's icon). Owns
// no state.
#include "app/app.h"

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <png.h>

enum { RGB_BYTES = 3, RGBA_BYTES = 4 };

int png_write_rgb(FILE *out, int width, int height, const unsigned char *pixels, int bottom_up)
{
    if (!out || !pixels || width <= 0 || height <= 0) return 0;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return 0;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return 0;
    }
    // libpng reports a failed write (a full disk) by jumping back here.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return 0;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    size_t stride = (size_t)width * RGB_BYTES;
    for (int y = 0; y < height; y++) {
        int row = bottom_up ? height - 1 - y : y;
        png_write_row(png, (png_const_bytep)(pixels + (size_t)row * stride));
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    // The data may still sit in the stream's buffer: a full disk shows here.
    return fflush(out) == 0 && !ferror(out);
}

// Feeds libpng from a byte range; reading past its end is an error.
struct MemoryReader {
    const unsigned char *data;
    size_t size;
    size_t at;
};

static void read_from_memory(png_structp png, png_bytep out, png_size_t count)
{
    MemoryReader *r = (MemoryReader *)png_get_io_ptr(png);
    if (count > r->size - r->at) png_error(png, "truncated picture");
    memcpy(out, r->data + r->at, count);
    r->at += count;
}

unsigned char *png_read_rgba(const unsigned char *data, size_t size, int *width, int *height)
{
    if (!data || size < 8 || png_sig_cmp((png_const_bytep)data, 0, 8) != 0) return nullptr;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return nullptr;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return nullptr;
    }
    MemoryReader reader = {data, size, 0};
    // Volatile: it is read again after libpng jumps back on an error.
    unsigned char *volatile pixels = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        free(pixels);
        png_destroy_read_struct(&png, &info, nullptr);
        return nullptr;
    }
    png_set_read_fn(png, &reader, read_from_memory);
    png_read_info(png, info);
    png_uint_32 w = png_get_image_width(png, info);
    png_uint_32 h = png_get_image_height(png, info);
    // Every colour type and depth becomes 8-bit RGBA.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (w == 0 || h == 0 || w > PNG_READ_MAX_SIDE || h > PNG_READ_MAX_SIDE ||
        png_get_rowbytes(png, info) != (size_t)w * RGBA_BYTES) {
        png_destroy_read_struct(&png, &info, nullptr);
        return nullptr;
    }
    pixels = (unsigned char *)malloc((size_t)w * h * RGBA_BYTES);
    png_bytep *rows = (png_bytep *)malloc(h * sizeof(png_bytep));
    if (!pixels || !rows) {
        free(pixels);
        free(rows);
        png_destroy_read_struct(&png, &info, nullptr);
        return nullptr;
    }
    for (png_uint_32 y = 0; y < h; y++) rows[y] = pixels + (size_t)y * w * RGBA_BYTES;
    // rows is freed on both paths: an error jumps only out of png_read_image.
    png_bytep *volatile kept_rows = rows;
    if (setjmp(png_jmpbuf(png))) {
        free(kept_rows);
        free(pixels);
        png_destroy_read_struct(&png, &info, nullptr);
        return nullptr;
    }
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    free(rows);
    *width = (int)w;
    *height = (int)h;
    return pixels;
}
