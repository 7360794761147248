// The `write` message: sizes, resolution, names and dialogs, the console
// reports, and the files themselves read back with libpng.
#include "test_png.h"
#include "gradix_fixture.h"

#include <png.h>
#include <stdlib.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <filesystem>

namespace {

struct Png {
    long dpi = 0; // from the pHYs chunk, 0 without one
    maxhost::Image image;
};

// Reads an 8-bit RGBA file as the host writes them.
bool read_png(const std::string &path, Png *out)
{
    TestPng p;
    if (!test_png_read(path, &p) || !p.rgba8())
        return false;
    out->image.width = (int)p.width;
    out->image.height = (int)p.height;
    out->image.rgba = p.rgba;
    out->dpi = p.has_phys && p.unit == PNG_RESOLUTION_METER ? std::lround(p.ppm_x * 0.0254) : 0;
    return true;
}

} // namespace

class GradixExport : public GradixTest {
protected:
    GradixExport()
    {
        char tmpl[] = "/tmp/gradix-export-XXXXXX";
        folder = mkdtemp(tmpl);
    }
    ~GradixExport() override { std::filesystem::remove_all(folder); }

    void write(t_object *x, maxhost::Atoms args) { maxhost::send(x, 0, gensym("write"), (long)args.size(), args.data()); }
    std::string file(const std::string &name) { return folder + "/" + name; }
    Png png(const std::string &name)
    {
        Png p;
        EXPECT_TRUE(read_png(file(name), &p)) << name;
        return p;
    }
    maxhost::ConsoleLine last_line()
    {
        auto lines = maxhost::console_lines();
        return lines.empty() ? maxhost::ConsoleLine{} : lines.back();
    }
};

TEST_F(GradixExport, ANameAloneWritesTheBoxSizeAt72DpiAndUnpatchedIsBlack)
{
    t_object *x = bar();
    write(x, {sym(file("plain.png"))});
    auto line = last_line();
    EXPECT_EQ(line.level, "post");
    EXPECT_EQ(line.classname, "gradix");
    EXPECT_EQ(line.text, "wrote PNG (33 x 100, 72 DPI) to " + file("plain.png"));
    Png p = png("plain.png");
    ASSERT_EQ(p.image.width, 33);
    ASSERT_EQ(p.image.height, 100);
    EXPECT_EQ(p.dpi, 72);
    for (int y = 0; y < 100; y++)
        for (int c = 0; c < 33; c++)
            ASSERT_EQ(px(p.image, c, y), Px({0, 0, 0, 255}));

    write(x, {sym("relative.png")}); // relative to the patch's folder
    EXPECT_EQ(png("relative.png").image.width, 33);
}

TEST_F(GradixExport, SizesAndResolutionFollowTheArguments)
{
    t_object *x = patched_bar(spectrogram()); // never painted: the write finds the cord itself
    write(x, {sym(file("a.png")), lnum(40), lnum(400), lnum(144)});
    Png a = png("a.png");
    EXPECT_EQ(a.image.width, 40);
    EXPECT_EQ(a.image.height, 400);
    EXPECT_EQ(a.dpi, 144);
    EXPECT_EQ(px(a.image, 39, 0), Px({0xFE, 0xFB, 0xF9, 255})); // the bar spans the picture
    EXPECT_EQ(px(a.image, 0, 399), Px({0x01, 0x01, 0x01, 255}));

    write(x, {sym(file("b.png")), lnum(40)}); // a width without a height: box size
    EXPECT_EQ(png("b.png").image.width, 33);
    write(x, {sym(file("c.png")), fnum(40), fnum(400), lnum(0)}); // floats do not count; dpi 0 gives 1
    Png c = png("c.png");
    EXPECT_EQ(c.image.width, 33);
    EXPECT_EQ(c.image.height, 100);
    EXPECT_EQ(c.dpi, 1);
    write(x, {sym(file("d.png")), lnum(20), lnum(30), lnum(50000)});
    EXPECT_EQ(png("d.png").dpi, 10000);
    EXPECT_EQ(last_line().text, "wrote PNG (20 x 30, 10000 DPI) to " + file("d.png"));

    maxhost::console_clear();
    write(x, {sym(file("huge.png")), lnum(200000), lnum(100000)}); // 100000 x 100000 is beyond the host
    EXPECT_EQ(last_line().level, "error");
    EXPECT_EQ(last_line().text, "failed to create surface for PNG");
    EXPECT_FALSE(std::filesystem::exists(file("huge.png")));
}

TEST_F(GradixExport, TheFileHoldsWhatTheBoxShows)
{
    t_object *spec = spectrogram({{"color_scheme", {lnum(2)}}});
    t_object *x = patched_bar(spec, {{"textcolor", {fnum(0), fnum(1), fnum(0), fnum(1)}}});
    maxhost::Image shown = paint(x);
    write(x, {sym(file("same.png"))});
    Png saved = png("same.png");
    ASSERT_EQ(saved.image.rgba.size(), shown.rgba.size());
    int worst = 0, differing = 0;
    for (size_t i = 0; i < shown.rgba.size(); i++) {
        int d = std::abs(saved.image.rgba[i] - shown.rgba[i]);
        worst = std::max(worst, d);
        differing += d > 0;
    }
    EXPECT_LE(worst, 1) << differing; // text over the bar: layers composite with their own rounding
}

TEST_F(GradixExport, WithoutANameTheSaveDialogAsks)
{
    t_object *x = bar();
    auto &driver = maxhost::scripted_driver();
    driver.records.clear();
    driver.queue_save(file("chosen.png"));
    write(x, {lnum(20), lnum(50), lnum(300)});
    ASSERT_EQ(driver.records.size(), 1u);
    EXPECT_EQ(driver.records[0].kind, "save");
    EXPECT_EQ(driver.records[0].default_text, "gradix.png");
    Png p = png("chosen.png");
    EXPECT_EQ(p.image.width, 20);
    EXPECT_EQ(p.image.height, 50);
    EXPECT_EQ(p.dpi, 300);
    EXPECT_EQ(last_line().text, "wrote PNG (20 x 50, 300 DPI) to " + file("chosen.png"));

    maxhost::console_clear();
    driver.queue_save_cancel();
    write(x, {});
    EXPECT_TRUE(maxhost::console_lines().empty());
}

TEST_F(GradixExport, BadNamesAndFailedWritesAreReported)
{
    t_object *x = bar();
    write(x, {sym("/no/such/folder/x.png")});
    EXPECT_EQ(last_line().level, "error");
    EXPECT_EQ(last_line().text, "invalid path: /no/such/folder/x.png");

    std::string long_name(3000, 'n');
    write(x, {sym(long_name)});
    EXPECT_EQ(last_line().text, "failed to resolve path: " + long_name);

    std::filesystem::create_directory(file("taken"));
    write(x, {sym(file("taken"))}); // a folder of that name is in the way
    EXPECT_EQ(last_line().text, "failed to write PNG to " + file("taken") + ": Is a directory");

    maxhost::console_clear();
    maxhost::send(x, 0, gensym("read"), 0, nullptr); // anything but write is ignored
    EXPECT_TRUE(maxhost::console_lines().empty());
}
