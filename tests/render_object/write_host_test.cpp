// The `write` message of a real spectrogram~ box: sizes and resolution
// tags, clamps, the full-resolution image cell by cell, a custom image equal
// to the painted one, the save dialog, and the failures that must change
// nothing.
#include "render_host_util.h"

#include <sys/stat.h>

#include <cmath>

namespace {

const long kFrames = 299 * 1024 + 2048; // 300 analysis frames

bool exists(const std::string &p)
{
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

unsigned long ppm(long dpi) { return (unsigned long)std::lround(dpi / 0.0254); }

class WriteTest : public RenderHostTest {
protected:
    t_specgram *make_box(std::vector<std::pair<std::string, maxhost::Atoms>> attrs = {})
    {
        make_buffer("snd", kFrames);
        fill_buffer("snd", [](long i) {
            const float t = (float)i / 48000.0f;
            return 0.3f * std::sin(2.0f * (float)M_PI * (300.0f + 4000.0f * t) * t) + 0.05f * std::sin(0.7f * i);
        });
        return make_specgram("snd", 300, 100, attrs);
    }
    void write(t_specgram *x, std::vector<t_atom> args)
    {
        maxhost::console_clear();
        send(x, 0, "write", args);
    }
    std::string last_line()
    {
        const std::vector<maxhost::ConsoleLine> l = lines();
        return l.empty() ? "" : l.back().level + ": " + l.back().text;
    }
};

TEST_F(WriteTest, ANameAloneWritesTheBoxSizeAt72Dpi)
{
    t_specgram *x = make_box();
    const std::string p = path("box.png");
    write(x, {sym(p.c_str())});
    PngImage png;
    ASSERT_TRUE(read_png(p, &png)) << last_line();
    EXPECT_EQ(png.width, 300);
    EXPECT_EQ(png.height, 100);
    EXPECT_TRUE(png.has_phys);
    EXPECT_EQ(png.ppm_x, ppm(72));
    EXPECT_EQ(last_line(), "post: wrote custom-resolution PNG (300 x 100, 72 DPI) to " + p);
    EXPECT_EQ(lines().size(), 1u);
}

TEST_F(WriteTest, TheCustomImageIsThePaintedImage)
{
    t_specgram *x = make_box();
    const maxhost::Image img = paint(x);
    const std::string p = path("same.png");
    write(x, {sym(p.c_str()), lng(300), lng(100)});
    PngImage png;
    ASSERT_TRUE(read_png(p, &png));
    ASSERT_EQ(png.width, img.width);
    ASSERT_EQ(png.height, img.height);
    EXPECT_EQ(png.rgba, img.rgba);
}

TEST_F(WriteTest, ZeroSizesWriteOnePixelPerVisibleCell)
{
    t_specgram *x = make_box({{"mag_scale", {lng(0)}}});
    // zoom: about frames 75 to 225, rows of 3000 Hz to 12000 Hz
    send(x, 1, "float", {num(x->buffer_length_ms * 0.5)});
    send(x, 0, "float", {num(x->buffer_length_ms * 0.25)});
    send(x, 3, "float", {num(12000.0)});
    send(x, 2, "float", {num(3000.0)});
    const std::string p = path("full.png");
    write(x, {sym(p.c_str()), lng(0), lng(0), lng(144)});
    PngImage png;
    ASSERT_TRUE(read_png(p, &png)) << last_line();

    const float *edges = specmags_current_edges(&x->mags);
    const double N = (double)x->mags.num_frames;
    const long c0 = (long)(N * x->display_start / x->buffer_length_ms);
    const long c1 = c0 + (long)(N * x->display_length / x->buffer_length_ms);
    EXPECT_NEAR((double)c0, 75.0, 1.0);
    EXPECT_NEAR((double)c1, 225.0, 1.0);
    const long r0 = specgram_find_bin_for_freq_ranges(edges, 1025, 3000.0);
    const long r1 = specgram_find_bin_for_freq_ranges(edges, 1025, 12000.0);
    ASSERT_EQ(png.width, c1 - c0 + 1);
    ASSERT_EQ(png.height, r1 - r0 + 1);
    EXPECT_EQ(png.ppm_x, ppm(144));
    for (long k = 0; k < png.width; k++)
        for (long j = 0; j < png.height; j++) {
            const float cell = x->mags.mags_db[(c0 + k) * 1025 + r0 + j];
            ASSERT_EQ(rgb_at(png.at(k, (r1 - r0) - j)), expected_color(x, cell)) << k << "," << j;
        }
    EXPECT_EQ(last_line(), "post: wrote full-resolution PNG (" + std::to_string(png.width) + " x " +
                               std::to_string(png.height) + ", 144 DPI) to " + p);

    // a width without a height counts as height 0: the full-resolution image again
    const std::string q = path("full2.png");
    write(x, {sym(q.c_str()), lng(500)});
    PngImage again;
    ASSERT_TRUE(read_png(q, &again));
    EXPECT_EQ(again.width, png.width);
    EXPECT_EQ(again.height, png.height);
    EXPECT_EQ(again.ppm_x, ppm(72));
}

TEST_F(WriteTest, SizesAndDpiAreClamped)
{
    t_specgram *x = make_box();
    const std::string p = path("big.png");
    write(x, {sym(p.c_str()), lng(2000), lng(1000), lng(300)});
    PngImage png;
    ASSERT_TRUE(read_png(p, &png));
    EXPECT_EQ(png.width, 2000);
    EXPECT_EQ(png.height, 1000);
    EXPECT_EQ(png.ppm_x, ppm(300));

    const std::string lo = path("lo.png"), hi = path("hi.png");
    write(x, {sym(lo.c_str()), lng(40), lng(30), lng(0)});
    EXPECT_EQ(last_line(), "post: wrote custom-resolution PNG (40 x 30, 1 DPI) to " + lo);
    write(x, {sym(hi.c_str()), lng(40), lng(30), lng(50000)});
    EXPECT_EQ(last_line(), "post: wrote custom-resolution PNG (40 x 30, 10000 DPI) to " + hi);
    ASSERT_TRUE(read_png(hi, &png));
    EXPECT_EQ(png.ppm_x, ppm(10000));

    // 200000 is clamped to 100000, more than an image can hold
    const std::string huge = path("huge.png");
    write(x, {sym(huge.c_str()), lng(200000), lng(100)});
    EXPECT_EQ(last_line(), "error: failed to create custom-resolution surface for PNG");
    EXPECT_FALSE(exists(huge));

    // a float width is not a size: the box's size
    const std::string fl = path("float.png");
    write(x, {sym(fl.c_str()), num(40.0), num(30.0)});
    EXPECT_EQ(last_line(), "post: wrote custom-resolution PNG (300 x 100, 72 DPI) to " + fl);
}

TEST_F(WriteTest, BadPathsAreReportedAndChangeNothing)
{
    t_specgram *x = make_box();
    const std::vector<double> view = {x->display_start, x->display_length, x->selection_start, x->selection_end};
    const std::string missing = path("no/such/folder.png");
    write(x, {sym(missing.c_str())});
    EXPECT_EQ(last_line(), "error: invalid path: " + missing);
    EXPECT_EQ(lines().size(), 1u);

    const std::string dir = path("taken");
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    write(x, {sym(dir.c_str())}); // a folder where the file should go
    EXPECT_EQ(last_line(), "error: failed to write PNG to " + dir + ": Is a directory");
    struct stat st;
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));

    write(x, {sym("/proc/spectrogram.png")}); // a folder nothing may be created in
    EXPECT_EQ(last_line(), "error: failed to write PNG to /proc/spectrogram.png: No such file or directory");

    write(x, {sym("")});
    EXPECT_EQ(last_line(), "error: failed to resolve path: ");
    EXPECT_EQ(view, (std::vector<double>{x->display_start, x->display_length, x->selection_start, x->selection_end}));
}

TEST_F(WriteTest, RelativeNamesGoToThePatchFolder)
{
    t_specgram *x = make_box();
    write(x, {sym("relative.png"), lng(20), lng(10)});
    EXPECT_TRUE(exists(path("relative.png"))) << last_line();
}

TEST_F(WriteTest, WithoutANameTheSaveDialogAsks)
{
    t_specgram *x = make_box();
    maxhost::ScriptedDriver &ui = maxhost::scripted_driver();
    ui.records.clear();
    const std::string p = path("chosen.png");
    ui.queue_save(p);
    write(x, {lng(64), lng(32), lng(96)});
    ASSERT_FALSE(ui.records.empty());
    EXPECT_EQ(ui.records.back().kind, "save");
    EXPECT_EQ(ui.records.back().default_text, "spectrogram.png");
    PngImage png;
    ASSERT_TRUE(read_png(p, &png)) << last_line();
    EXPECT_EQ(png.width, 64);
    EXPECT_EQ(png.height, 32);
    EXPECT_EQ(last_line(), "post: wrote custom-resolution PNG (64 x 32, 96 DPI) to " + p);

    ui.queue_save_cancel();
    write(x, {});
    EXPECT_TRUE(lines().empty());
}

TEST_F(WriteTest, LabelsAreDrawnIntoTheImage)
{
    t_specgram *x = make_box({{"freq_text", {lng(1)}}, {"time_text", {lng(1)}}, {"color_scheme", {lng(8)}}});
    const std::string with = path("labels.png");
    write(x, {sym(with.c_str()), lng(600), lng(200)});
    set_attr(x, "freq_text", {lng(0)});
    set_attr(x, "time_text", {lng(0)});
    const std::string without = path("bare.png");
    write(x, {sym(without.c_str()), lng(600), lng(200)});
    PngImage a, b;
    ASSERT_TRUE(read_png(with, &a));
    ASSERT_TRUE(read_png(without, &b));
    long differ = 0;
    for (long y = 0; y < 200; y++)
        for (long px = 0; px < 600; px++)
            differ += a.at(px, y)[0] != b.at(px, y)[0];
    EXPECT_GT(differ, 200);
}

} // namespace

TEST_F(WriteTest, BoxesOfAbsurdSizesPaintWithoutOverflow)
{
    t_specgram *x = make_box();
    for (double size : {1e308, (double)INFINITY, (double)NAN, -5.0}) {
        maxhost::box_set_size((t_object *)x, size, size);
        maxhost::Image image;
        maxhost::paint_box((t_object *)x, &image); // the sanitizer build checks the conversions
    }
    maxhost::box_set_size((t_object *)x, 300, 100);
    maxhost::Image image;
    ASSERT_TRUE(maxhost::paint_box((t_object *)x, &image));
    EXPECT_EQ(image.width, 300);
}
