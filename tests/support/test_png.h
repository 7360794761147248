// Reading PNG files back in tests: the size, bit depth and colour type, the
// pHYs chunk, and the pixels of an 8-bit RGBA file.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct TestPng {
    long width = 0, height = 0;
    int bit_depth = 0, color_type = 0;
    bool has_phys = false;
    png_uint_32 ppm_x = 0, ppm_y = 0;
    int unit = -1;
    std::vector<uint8_t> rgba; // filled only for 8-bit RGBA files, rows top to bottom
    bool rgba8() const { return bit_depth == 8 && color_type == PNG_COLOR_TYPE_RGBA; }
};

// Reads a PNG file; false when it is missing or not a PNG.
inline bool test_png_read(const std::string &path, TestPng *out)
{
    FILE *fp = fopen(path.c_str(), "rb");
    if (!fp)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        fclose(fp);
        return false;
    }
    png_init_io(png, fp);
    png_read_info(png, info);
    out->width = (long)png_get_image_width(png, info);
    out->height = (long)png_get_image_height(png, info);
    out->bit_depth = png_get_bit_depth(png, info);
    out->color_type = png_get_color_type(png, info);
    out->has_phys = png_get_pHYs(png, info, &out->ppm_x, &out->ppm_y, &out->unit) != 0;
    out->rgba.clear();
    if (out->rgba8()) {
        out->rgba.resize((size_t)out->width * (size_t)out->height * 4);
        for (long y = 0; y < out->height; y++)
            png_read_row(png, &out->rgba[(size_t)y * (size_t)out->width * 4], nullptr);
        png_read_end(png, nullptr);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(fp);
    return true;
}
