// patchhost render: the figure, the object's own images (--plain, --full)
// and the colour bar, the strict command line with its messages and exit
// statuses, and batches of files.
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

std::string slurp(const std::string &p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs `patchhost render ARGS` in the scratch folder; `prefix` goes before
// the command in the shell (a ulimit, say).
RenderRun render(const std::string &args, const std::string &prefix = "")
{
    std::string base = scratch_dir() + "/render";
    std::string cmd = std::string("cd '") + scratch_dir() + "' && " + prefix + "'" + PATCHHOST_EXE + "' render " + args + " >" +
                      base + ".out 2>" + base + ".err";
    int raw = std::system(cmd.c_str());
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

void make_sound(const std::string &name, const char *seconds, const char *channels)
{
    std::string cmd = std::string("'") + MAKE_DEMO_SOUND_EXE + "' '" + scratch_dir() + "/" + name + "' " + seconds +
                      " " + channels;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
}

class Render : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        make_sound("demo.wav", "8", "2");
        make_sound("short.wav", "1", "1");
    }
    void SetUp() override
    {
        for (const char *f : {"a.png", "bar.png", "full.png", "lin.png", "fig.png", "run.png"})
            std::remove((scratch_dir() + "/" + f).c_str());
    }
};

} // namespace

TEST_F(Render, TheDefaultIsAFigureOfTheRequestedSize)
{
    RenderRun r = render("demo.wav -o fig.png");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("wrote figure (1200 x 400) to " + scratch_dir() + "/fig.png"), std::string::npos) << r.out;
    TestPng p;
    ASSERT_TRUE(test_png_read(scratch_dir() + "/fig.png", &p));
    ASSERT_TRUE(p.rgba8());
    EXPECT_EQ(p.width, 1200);
    EXPECT_EQ(p.height, 400);
    auto pixel = [&](long x, long y) { return p.rgba.data() + (y * p.width + x) * 4; };
    // A white margin around a plot that is not white.
    EXPECT_EQ(pixel(2, 2)[0], 255);
    EXPECT_EQ(pixel(2, 398)[1], 255);
    const uint8_t *mid = pixel(600, 200);
    EXPECT_FALSE(mid[0] == 255 && mid[1] == 255 && mid[2] == 255);

    // One panel per channel, each as tall as the single one.
    r = render("demo.wav -o fig.png --channel all");
    ASSERT_EQ(r.status, 0) << r.err;
    unsigned w = 0, h = 0;
    ASSERT_TRUE(png_size(scratch_dir() + "/fig.png", &w, &h));
    EXPECT_EQ(w, 1200u);
    EXPECT_GT(h, 700u);
}

// --plain is the box image the object's own `write` makes, byte for byte.
TEST_F(Render, PlainIsTheObjectsOwnImage)
{
    RenderRun r = render("demo.wav -o a.png --plain --size 400x150 --colorbar bar.png");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("wrote custom-resolution PNG (400 x 150, 72 DPI) to " + scratch_dir() + "/a.png"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("wrote PNG ("), std::string::npos) << r.out;
    write_file(scratch_dir() + "/plain.maxpat", R"({"patcher": {"boxes": [
        {"box": {"id": "obj-1", "maxclass": "newobj", "text": "buffer~ snd demo.wav", "patching_rect": [0, 0, 100, 22]}},
        {"box": {"id": "obj-2", "maxclass": "spectrogram~", "varname": "sg", "patching_rect": [0, 0, 400, 150],
                 "buffer_name": "snd", "buffer_chan": 1}}], "lines": []}})");
    RunResult run = run_patch(scratch_dir() + "/plain.maxpat", "send sg write run.png 400 150 72\n");
    ASSERT_EQ(run.status, 0) << run.err;
    std::string ours = slurp(scratch_dir() + "/a.png"), object = slurp(scratch_dir() + "/run.png");
    EXPECT_FALSE(ours.empty());
    EXPECT_TRUE(ours == object) << "--plain differs from the object's write";
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
    ASSERT_EQ(render("demo.wav -o a.png --size 300x160").status, 0);
    RenderRun r = render("demo.wav -o lin.png --size 300x160 @mag_scale Lin @color_scheme 8");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(slurp(scratch_dir() + "/a.png"), slurp(scratch_dir() + "/lin.png"));
    EXPECT_EQ(r.err, "");
}

// Every mistake is named, with its exit status, before anything is written.
TEST_F(Render, CommandLineMistakesAreNamed)
{
    struct Case {
        const char *args;
        int status;
        const char *message;
    };
    const Case cases[] = {
        {"demo.wav -o a.png @colour_scheme 3", 2, "unknown attribute @colour_scheme (did you mean @color_scheme?)"},
        {"demo.wav -o a.png --bogus", 2, "unknown option --bogus"},
        {"demo.wav -o a.png --chanel 2", 2, "unknown option --chanel (did you mean --channel?)"},
        {"demo.wav -o a.png --size 10x", 2, "bad --size 10x: expected WxH"},
        {"demo.wav -o a.png --size 0x10", 2, "bad --size 0x10"},
        {"demo.wav -o x.jpg", 2, "the output x.jpg is not a .png file"},
        {"demo.wav", 2, "no output"},
        {"-o a.png", 2, "no input"},
        {"demo.wav short.wav -o a.png", 2, "several inputs need an output folder"},
        {"demo.wav -o a.png --channel 5", 2, "--channel 5: demo.wav has 2 channels"},
        {"demo.wav -o a.png --channel x", 2, "bad --channel x"},
        {"demo.wav -o a.png -j 0", 2, "bad -j 0"},
        {"demo.wav -o a.png --size", 2, "option --size needs a value"},
        {"demo.wav -o a.png @mag_scale Lgo", 2, "@mag_scale: Lgo is not a number nor one of its values (did you "
                                                "mean Log?)"},
        {"demo.wav -o a.png @mag_min", 2, "@mag_min needs a value"},
        {"demo.wav -o a.png @textcolor 1 1", 2, "@textcolor takes 4 values, not 2"},
        {"demo.wav -o a.png @buffer_chan 2", 2, "@buffer_chan is set by render: use --channel"},
        {"missing.wav -o a.png", 2, "cannot read the sound file missing.wav"},
        {"demo.wav -o no/such/folder/a.png", 1, "cannot write no/such/folder/a.png"},
        {"demo.wav -o no/such/folder/a.png --plain", 1, "invalid path"},
    };
    for (const Case &c : cases) {
        RenderRun r = render(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_EQ(r.out.find("wrote"), std::string::npos) << c.args << "\n" << r.out;
    }
}

TEST_F(Render, ClampedValuesAreReported)
{
    RenderRun r = render("demo.wav -o a.png --size 300x160 @mag_scale 9 @win_size 100");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("@mag_scale 9 is out of range: clamped to 4"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("@win_size 100 is out of range: clamped to 128"), std::string::npos) << r.err;
}

// --full refuses an image the host cannot write before analysing: one
// second at hop 1 is 47969 columns, over the 32767-pixel side.
TEST_F(Render, FullResolutionTooLargeFailsFast)
{
    RenderRun r = render("short.wav -o full.png --full @win_size 32 @win_overlap 32");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--full would make a 47969 x 17 image, over the limit of 32767"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("--size"), std::string::npos) << r.err;
    EXPECT_FALSE(std::ifstream(scratch_dir() + "/full.png").good());
}

// A sound whose analysis does not fit in memory: the spectrogram says so,
// and no image of the silence it shows instead is written or announced.
// The sanitizers reserve more address space than the limit allows.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST_F(Render, AnAnalysisThatDoesNotFitInMemoryWritesNothing)
{
    make_sound("long.wav", "300", "1");
    for (const char *mode : {"", "--plain "}) {
        // 14.4 million samples at 64 frames per window need about 3.7 GB.
        RenderRun r = render(std::string("long.wav -o a.png ") + mode + "@win_size 4096 @win_overlap 64",
                             "ulimit -v 1500000 && ");
        EXPECT_EQ(r.status, 1) << mode;
        EXPECT_NE(r.err.find("not enough memory to analyse 14400000 frames"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("long.wav: the spectrogram could not show the sound (see above); nothing was written"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.out.find("wrote"), std::string::npos) << r.out;
        EXPECT_FALSE(std::ifstream(scratch_dir() + "/a.png").good()) << mode;
    }
    std::remove((scratch_dir() + "/long.wav").c_str());
}
#endif

TEST_F(Render, HelpListsEveryOptionAndAttribute)
{
    RenderRun r = render("--help");
    EXPECT_EQ(r.status, 0);
    for (const char *s : {"--size WxH", "--plain", "--full", "--channel N|all", "--colorbar", "--jobs N", "--quiet",
                          "exit status", "@win_size", "32..32768; default 2048", "@mag_scale",
                          "0 Lin, 1 Mel, 2 Log, 3 Bark, 4 ERB; default 1", "@mag_min", "-120..120; default -100",
                          "@textcolor", "@buffer_chan", "set by render"})
        EXPECT_NE(r.out.find(s), std::string::npos) << s << "\n" << r.out;
}

// A folder with one file that is not a sound: the others are written, the
// summary names the bad one, the exit status is not 0.
TEST_F(Render, BatchWithOneBadFile)
{
    const std::string in = scratch_dir() + "/batch_in", out = scratch_dir() + "/batch_out";
    ASSERT_EQ(std::system(("rm -rf '" + in + "' '" + out + "' && mkdir -p '" + in + "'").c_str()), 0);
    make_sound("batch_in/one.wav", "1", "1");
    make_sound("batch_in/two.wav", "0.5", "2");
    write_file(in + "/bad.wav", "not a sound file");
    write_file(in + "/notes.txt", "skipped: not a sound file name");
    RenderRun r = render("batch_in -o batch_out/ -j 2 --size 400x200");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("cannot read the sound file batch_in/bad.wav"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("rendered 2 of 3 files; failed: batch_in/bad.wav"), std::string::npos) << r.err;
    unsigned w = 0, h = 0;
    EXPECT_TRUE(png_size(out + "/one.png", &w, &h));
    EXPECT_TRUE(png_size(out + "/two.png", &w, &h));
    EXPECT_EQ(w, 400u);
    EXPECT_FALSE(std::ifstream(out + "/bad.png").good());

    // Named files into a folder, all good.
    r = render("short.wav demo.wav -o batch_out -j 1 --plain --size 200x100");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("rendered 2 files"), std::string::npos) << r.err;
    EXPECT_TRUE(png_size(out + "/short.png", &w, &h));
    EXPECT_EQ(w, 200u);
}
