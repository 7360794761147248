// Tests of the server's encodings: file names from the page cannot leave
// the server's folders, WAV images have the header and samples a player
// expects, PNG pictures decode to the same pixels, and the rectangles the
// page's stream sends turn the page's picture into the new one.
#include "serve.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <random>

using maxhost::encode_png;
using patchhost::serve::PictureRect;
using patchhost::serve::changed_rects;
using patchhost::serve::encode_wav;
using patchhost::serve::safe_file_name;

namespace {

uint32_t u32(const std::string &s, size_t at)
{
    return (uint32_t)(uint8_t)s[at] | (uint32_t)(uint8_t)s[at + 1] << 8 | (uint32_t)(uint8_t)s[at + 2] << 16 |
           (uint32_t)(uint8_t)s[at + 3] << 24;
}

int16_t s16(const std::string &s, size_t at) { return (int16_t)((uint8_t)s[at] | (uint8_t)s[at + 1] << 8); }

} // namespace

TEST(SafeFileName, KeepsOnlyTheLastComponentAndPlainCharacters)
{
    EXPECT_EQ(safe_file_name("spectrogram.png", "x"), "spectrogram.png");
    EXPECT_EQ(safe_file_name("../../etc/passwd", "x"), "passwd");
    EXPECT_EQ(safe_file_name("C:\\Users\\me\\take 1.wav", "x"), "take 1.wav");
    EXPECT_EQ(safe_file_name("a$b;c|d.wav", "x"), "a_b_c_d.wav");
    EXPECT_EQ(safe_file_name("f\xc3\xa9te.wav", "x"), "f__te.wav");
}

TEST(SafeFileName, NeverNamesAHiddenFileOrTheFolderItself)
{
    EXPECT_EQ(safe_file_name("..", "sound.wav"), "sound.wav");
    EXPECT_EQ(safe_file_name(".", "sound.wav"), "sound.wav");
    EXPECT_EQ(safe_file_name("dir/", "sound.wav"), "sound.wav");
    EXPECT_EQ(safe_file_name(".bashrc", "x"), "bashrc");
    EXPECT_EQ(safe_file_name("  ", ""), "file");
    EXPECT_EQ(safe_file_name("", "../.."), "file");
    EXPECT_LE(safe_file_name(std::string(500, 'a'), "x").size(), 200u);
}

TEST(EncodeWav, WritesA16BitPcmHeaderAndClampedSamples)
{
    const float samples[] = {0.0f, 1.0f, -1.0f, 0.5f, 2.0f, -3.0f, NAN, -0.25f};
    std::string wav = encode_wav(samples, 4, 2, 44100.0);
    ASSERT_EQ(wav.size(), 44u + 16u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(u32(wav, 4), wav.size() - 8);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(s16(wav, 20), 1);         // PCM
    EXPECT_EQ(s16(wav, 22), 2);         // channels
    EXPECT_EQ(u32(wav, 24), 44100u);    // rate
    EXPECT_EQ(u32(wav, 28), 44100u * 4); // bytes per second
    EXPECT_EQ(s16(wav, 32), 4);         // block align
    EXPECT_EQ(s16(wav, 34), 16);
    EXPECT_EQ(wav.substr(36, 4), "data");
    EXPECT_EQ(u32(wav, 40), 16u);
    const int16_t expected[] = {0, 32767, -32767, 16384, 32767, -32767, 0, -8192};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(s16(wav, 44 + 2 * i), expected[i]) << "sample " << i;
}

TEST(EncodeWav, AnEmptySpanIsAValidEmptyFile)
{
    std::string wav = encode_wav(nullptr, 0, 1, 48000.0);
    ASSERT_EQ(wav.size(), 44u);
    EXPECT_EQ(u32(wav, 40), 0u);
}

TEST(EncodePng, DecodesToTheSamePixels)
{
    maxhost::Image image;
    image.width = 5;
    image.height = 3;
    for (int i = 0; i < 15; i++)
        image.rgba.insert(image.rgba.end(), {(uint8_t)(i * 17), (uint8_t)(255 - i), (uint8_t)(i * 3), (uint8_t)(i * 16)});
    std::string png;
    ASSERT_TRUE(encode_png(image, &png));

    png_image read;
    memset(&read, 0, sizeof read);
    read.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&read, png.data(), png.size()));
    EXPECT_EQ(read.width, 5u);
    EXPECT_EQ(read.height, 3u);
    read.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(read));
    ASSERT_TRUE(png_image_finish_read(&read, nullptr, pixels.data(), 0, nullptr));
    EXPECT_EQ(pixels, image.rgba);
}

TEST(EncodePng, RefusesAPictureWithoutPixels)
{
    maxhost::Image image;
    std::string png;
    EXPECT_FALSE(encode_png(image, &png));
    image.width = 4;
    image.height = 4; // but no bytes
    EXPECT_FALSE(encode_png(image, &png));
}

namespace {

maxhost::Image filled(int w, int h, uint8_t v)
{
    maxhost::Image image;
    image.width = w;
    image.height = h;
    image.rgba.assign((size_t)w * h * 4, v);
    return image;
}

void set_pixel(maxhost::Image *image, int x, int y, uint8_t v)
{
    image->rgba[((size_t)y * image->width + x) * 4 + 1] = v; // one channel is enough to differ
}

// What the page does with a frame: the rectangles' rows copied over its picture.
void apply_rects(maxhost::Image *page, const maxhost::Image &now, const std::vector<PictureRect> &rects)
{
    std::string rows;
    for (const PictureRect &r : rects)
        patchhost::serve::append_rect_pixels(now, r, &rows);
    size_t at = 0;
    for (const PictureRect &r : rects)
        for (int y = r.y; y < r.y + r.h; y++, at += (size_t)r.w * 4)
            memcpy(page->rgba.data() + ((size_t)y * page->width + r.x) * 4, rows.data() + at,
                   (size_t)r.w * 4);
    ASSERT_EQ(at, rows.size());
}

} // namespace

TEST(ChangedRects, WholePictureWithoutAnEqualSizedPrevious)
{
    const maxhost::Image now = filled(40, 20, 7), small = filled(20, 20, 7);
    const std::vector<PictureRect> none = changed_rects(nullptr, now), resized = changed_rects(&small, now);
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0].w * none[0].h, 40 * 20);
    ASSERT_EQ(resized.size(), 1u);
    EXPECT_EQ(resized[0].w * resized[0].h, 40 * 20);
    EXPECT_TRUE(changed_rects(&now, now).empty());
}

TEST(ChangedRects, OnlyTheChangedPixelsOfEachBand)
{
    const maxhost::Image before = filled(640, 240, 0);
    maxhost::Image now = before;
    set_pixel(&now, 10, 3, 9);   // two changes far apart in the first band
    set_pixel(&now, 600, 5, 9);
    set_pixel(&now, 100, 40, 9); // two close together in the third band
    set_pixel(&now, 120, 41, 9);
    const std::vector<PictureRect> r = changed_rects(&before, now);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ((std::vector<int>{r[0].x, r[0].y, r[0].w, r[0].h}), (std::vector<int>{10, 3, 1, 3}));
    EXPECT_EQ((std::vector<int>{r[1].x, r[1].y, r[1].w, r[1].h}), (std::vector<int>{600, 3, 1, 3}));
    EXPECT_EQ((std::vector<int>{r[2].x, r[2].y, r[2].w, r[2].h}), (std::vector<int>{100, 40, 21, 2}));
}

TEST(ChangedRects, ApplyingThemGivesTheNewPicture)
{
    std::mt19937 rng(5);
    for (int round = 0; round < 20; round++) {
        const int w = 1 + (int)(rng() % 300), h = 1 + (int)(rng() % 100);
        maxhost::Image before = filled(w, h, 0);
        for (uint8_t &b : before.rgba)
            b = (uint8_t)rng();
        maxhost::Image now = before;
        for (int n = (int)(rng() % 200); n > 0; n--) { // scattered pixels and a moved box outline
            set_pixel(&now, (int)(rng() % w), (int)(rng() % h), (uint8_t)rng());
        }
        const int bx = (int)(rng() % w), by = (int)(rng() % h);
        for (int x = bx; x < w; x++)
            set_pixel(&now, x, by, 1);
        for (int y = by; y < h; y++)
            set_pixel(&now, bx, y, 1);
        maxhost::Image page = before;
        apply_rects(&page, now, changed_rects(&before, now));
        ASSERT_EQ(page.rgba, now.rgba) << "round " << round << ", " << w << " x " << h;
    }
}
