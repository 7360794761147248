// patchhost render: images of a sound file from the command line, their
// sizes, the colour bar, full resolution, attributes, and the exit statuses.
#include "test_png.h"
#include "runner.h"

#include <gtest/gtest.h>
#include <png.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

struct RenderRun {
    int status;
    std::string out, err;
};

RenderRun render(const std::string &args)
{
    std::string base = scratch_dir() + "/render";
    std::string cmd = std::string("cd '") + scratch_dir() + "' && '" + PATCHHOST_EXE + "' render " + args + " >" +
                      base + ".out 2>" + base + ".err";
    int raw = std::system(cmd.c_str());
    auto slurp = [](const std::string &p) {
        std::ifstream in(p);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    };
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(base + ".out"), slurp(base + ".err")};
}

bool png_size(const std::string &path, unsigned *w, unsigned *h)
{
    TestPng p;
    if (!test_png_read(path, &p))
        return false;
    *w = (unsigned)p.width;
    *h = (unsigned)p.height;
    return true;
}

class Render : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string cmd = std::string("'") + MAKE_DEMO_SOUND_EXE + "' '" + scratch_dir() + "/demo.wav'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    void SetUp() override
    {
        for (const char *f : {"a.png", "bar.png", "full.png", "lin.png"})
            std::remove((scratch_dir() + "/" + f).c_str());
    }
};

} // namespace

TEST_F(Render, ABoxSizeImageAndItsColourBar)
{
    RenderRun r = render("demo.wav -o a.png --size 400x150 --colorbar bar.png");
    ASSERT_EQ(r.status, 0) << r.err;
    unsigned w = 0, h = 0;
    ASSERT_TRUE(png_size(scratch_dir() + "/a.png", &w, &h));
    EXPECT_EQ(w, 400u);
    EXPECT_EQ(h, 150u);
    ASSERT_TRUE(png_size(scratch_dir() + "/bar.png", &w, &h));
    EXPECT_EQ(h, 150u);
    EXPECT_NE(r.out.find("wrote custom-resolution PNG (400 x 150, 72 DPI) to " + scratch_dir() + "/a.png"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("wrote PNG ("), std::string::npos) << r.out;
}

TEST_F(Render, FullResolutionHasOnePixelPerCell)
{
    RenderRun r = render("demo.wav -o full.png --full --channel 2");
    ASSERT_EQ(r.status, 0) << r.err;
    unsigned w = 0, h = 0;
    ASSERT_TRUE(png_size(scratch_dir() + "/full.png", &w, &h));
    // 8 s at 48 kHz, window 2048, hop 1024: 374 frames; 1025 rows.
    EXPECT_EQ(w, 374u);
    EXPECT_EQ(h, 1025u);
}

TEST_F(Render, AttributesReachTheSpectrogram)
{
    ASSERT_EQ(render("demo.wav -o a.png --size 200x100").status, 0);
    RenderRun r = render("demo.wav -o lin.png --size 200x100 @mag_scale 0 @color_scheme 8");
    ASSERT_EQ(r.status, 0) << r.err;
    std::ifstream a(scratch_dir() + "/a.png", std::ios::binary), b(scratch_dir() + "/lin.png", std::ios::binary);
    std::string sa((std::istreambuf_iterator<char>(a)), {}), sb((std::istreambuf_iterator<char>(b)), {});
    EXPECT_FALSE(sa.empty());
    EXPECT_NE(sa, sb);
}

TEST_F(Render, FailuresHaveTheirStatuses)
{
    EXPECT_EQ(render("missing.wav -o a.png").status, 2);
    EXPECT_EQ(render("demo.wav").status, 2);                  // no output
    EXPECT_EQ(render("demo.wav -o a.png --size 0x10").status, 2); // bad size
    RenderRun r = render("demo.wav -o no/such/folder/a.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("invalid path"), std::string::npos) << r.err;
}
