// PNG files written through jgraphics_image_surface_writepng, read back
// with libpng: size, format, resolution, straight alpha; and the failure
// cases, which must report an error and leave no file, no temporary file,
// and any earlier file of the same name untouched.
#include "test_png.h"
#include "graphics_test_util.h"

#include <gtest/gtest.h>
#include <png.h>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct PngFile
{
    png_uint_32 width = 0, height = 0;
    int bit_depth = 0, color_type = 0;
    bool has_phys = false;
    png_uint_32 ppm_x = 0, ppm_y = 0;
    int unit = -1;
    std::vector<uint8_t> rgba;
    Rgba8 at(int x, int y) const
    {
        const uint8_t *p = &rgba[(size_t(y) * width + x) * 4];
        return Rgba8{p[0], p[1], p[2], p[3]};
    }
};

bool read_png(const std::string &path, PngFile *out)
{
    TestPng p;
    if (!test_png_read(path, &p))
        return false;
    out->width = (png_uint_32)p.width;
    out->height = (png_uint_32)p.height;
    out->bit_depth = p.bit_depth;
    out->color_type = p.color_type;
    out->has_phys = p.has_phys;
    out->ppm_x = p.ppm_x;
    out->ppm_y = p.ppm_y;
    out->unit = p.unit;
    out->rgba = p.rgba;
    return true;
}

std::vector<std::string> entries(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(folder.c_str())) {
        while (dirent *e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string read_text(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class PngWrite : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char *tmp = getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/host_graphics_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        folder = tmpl;
        id = folder_id(folder);
        ASSERT_NE(id, 0);
    }
    void TearDown() override
    {
        for (const std::string &name : entries(folder))
            remove((folder + "/" + name).c_str());
        rmdir(folder.c_str());
    }
    static short folder_id(const std::string &f)
    {
        short path = 0;
        char name[MAX_FILENAME_CHARS];
        return path_frompotentialpathname((f + "/probe.png").c_str(), &path, name) == 0 ? path : 0;
    }
    std::string folder;
    short id = 0;
};

SurfacePtr sample_surface()
{
    SurfacePtr s = make_surface(3, 2);
    jgraphics_image_surface_set_pixel(s.get(), 0, 0, t_jrgba{1, 0, 0, 1});
    jgraphics_image_surface_set_pixel(s.get(), 1, 0, t_jrgba{0, 1, 0, 0.5});
    jgraphics_image_surface_set_pixel(s.get(), 0, 1, t_jrgba{0, 0, 1, 1});
    jgraphics_image_surface_set_pixel(s.get(), 1, 1, t_jrgba{1, 1, 1, 1});
    jgraphics_image_surface_set_pixel(s.get(), 2, 1, t_jrgba{0.2, 0.4, 0.6, 1});
    return s;
}

} // namespace

TEST_F(PngWrite, WritesStraightRgbaWithItsResolution)
{
    SurfacePtr s = sample_surface();
    ASSERT_EQ(jgraphics_image_surface_writepng(s.get(), "out.png", id, 300), MAX_ERR_NONE);
    PngFile png;
    ASSERT_TRUE(read_png(folder + "/out.png", &png));
    EXPECT_EQ(png.width, 3u);
    EXPECT_EQ(png.height, 2u);
    EXPECT_EQ(png.bit_depth, 8);
    EXPECT_EQ(png.color_type, PNG_COLOR_TYPE_RGBA);
    ASSERT_TRUE(png.has_phys);
    EXPECT_EQ(png.unit, PNG_RESOLUTION_METER);
    EXPECT_EQ(png.ppm_x, 11811u); // 300 / 0.0254 = 11811.02
    EXPECT_EQ(png.ppm_y, 11811u);
    EXPECT_EQ(png.at(0, 0), kRed);
    EXPECT_EQ(png.at(1, 0), (Rgba8{0, 255, 0, 128})); // straight, not premultiplied
    EXPECT_EQ(png.at(2, 0), kClear);
    EXPECT_EQ(png.at(0, 1), kBlue);
    EXPECT_EQ(png.at(1, 1), kWhite);
    EXPECT_EQ(png.at(2, 1), (Rgba8{51, 102, 153, 255}));
    EXPECT_EQ(entries(folder), std::vector<std::string>{"out.png"}); // no temporary file left
}

TEST_F(PngWrite, ResolutionRoundsToPixelsPerMetre)
{
    SurfacePtr s = make_surface(1, 1);
    const long dpis[][2] = {{72, 2835}, {1, 39}, {96, 3780}, {10000, 393701}};
    for (auto &d : dpis) {
        ASSERT_EQ(jgraphics_image_surface_writepng(s.get(), "dpi.png", id, d[0]), MAX_ERR_NONE);
        PngFile png;
        ASSERT_TRUE(read_png(folder + "/dpi.png", &png));
        EXPECT_TRUE(png.has_phys);
        EXPECT_EQ(png.ppm_x, png_uint_32(d[1])) << d[0] << " dpi";
    }
    ASSERT_EQ(jgraphics_image_surface_writepng(s.get(), "dpi.png", id, 0), MAX_ERR_NONE);
    PngFile png;
    ASSERT_TRUE(read_png(folder + "/dpi.png", &png));
    EXPECT_FALSE(png.has_phys); // no resolution to state
}

TEST_F(PngWrite, OpaqueAndAlphaOnlySurfaces)
{
    SurfacePtr rgb = make_surface(1, 1, JGRAPHICS_FORMAT_RGB24);
    SurfacePtr a8 = make_surface(1, 1, JGRAPHICS_FORMAT_A8);
    jgraphics_image_surface_set_pixel(rgb.get(), 0, 0, t_jrgba{0, 0, 1, 0});
    jgraphics_image_surface_set_pixel(a8.get(), 0, 0, t_jrgba{1, 1, 1, 0.6});
    ASSERT_EQ(jgraphics_image_surface_writepng(rgb.get(), "rgb.png", id, 72), MAX_ERR_NONE);
    ASSERT_EQ(jgraphics_image_surface_writepng(a8.get(), "a8.png", id, 72), MAX_ERR_NONE);
    PngFile p1, p2;
    ASSERT_TRUE(read_png(folder + "/rgb.png", &p1));
    ASSERT_TRUE(read_png(folder + "/a8.png", &p2));
    EXPECT_EQ(p1.at(0, 0), kBlue);
    EXPECT_EQ(p2.at(0, 0), (Rgba8{0, 0, 0, 153}));
}

TEST_F(PngWrite, DrawnPicturesReplaceAnEarlierFile)
{
    {
        std::ofstream old(folder + "/pic.png");
        old << "an older file";
    }
    SurfacePtr s = make_surface(200, 100);
    GraphicsPtr g(jgraphics_create(s.get()));
    jgraphics_set_source_rgba(g.get(), 0, 0, 1, 0.5);
    jgraphics_rectangle(g.get(), 0, 0, 100, 100);
    jgraphics_fill(g.get());
    ASSERT_EQ(jgraphics_image_surface_writepng(s.get(), "pic.png", id, 72), MAX_ERR_NONE);
    PngFile png;
    ASSERT_TRUE(read_png(folder + "/pic.png", &png));
    EXPECT_EQ(png.width, 200u);
    EXPECT_EQ(png.at(50, 50), (Rgba8{0, 0, 255, 128}));
    EXPECT_EQ(png.at(150, 50), kClear);
    EXPECT_EQ(entries(folder), std::vector<std::string>{"pic.png"});
}

TEST_F(PngWrite, FailuresReportAnErrorAndLeaveNothing)
{
    SurfacePtr s = sample_surface();
    EXPECT_NE(jgraphics_image_surface_writepng(nullptr, "a.png", id, 72), MAX_ERR_NONE);
    EXPECT_NE(jgraphics_image_surface_writepng(s.get(), nullptr, id, 72), MAX_ERR_NONE);
    EXPECT_NE(jgraphics_image_surface_writepng(s.get(), "", id, 72), MAX_ERR_NONE);
    EXPECT_NE(jgraphics_image_surface_writepng(s.get(), "a.png", 0, 72), MAX_ERR_NONE);
    EXPECT_NE(jgraphics_image_surface_writepng(s.get(), "a.png", 31999, 72), MAX_ERR_NONE);
    EXPECT_NE(jgraphics_image_surface_writepng(s.get(), "a.png", -3, 72), MAX_ERR_NONE);
    EXPECT_NE(jgraphics_image_surface_writepng(s.get(), "missing/a.png", id, 72), MAX_ERR_NONE);
    ASSERT_EQ(mkdir((folder + "/taken.png").c_str(), 0755), 0); // the name is a folder
    EXPECT_NE(jgraphics_image_surface_writepng(s.get(), "taken.png", id, 72), MAX_ERR_NONE);
    EXPECT_EQ(entries(folder), std::vector<std::string>{"taken.png"});
    rmdir((folder + "/taken.png").c_str());
}

TEST_F(PngWrite, AFolderThatDisappearedFailsCleanly)
{
    std::string gone = folder + "/gone";
    ASSERT_EQ(mkdir(gone.c_str(), 0755), 0);
    short gone_id = folder_id(gone);
    ASSERT_NE(gone_id, 0);
    ASSERT_EQ(rmdir(gone.c_str()), 0);
    SurfacePtr s = sample_surface();
    EXPECT_NE(jgraphics_image_surface_writepng(s.get(), "a.png", gone_id, 72), MAX_ERR_NONE);
    EXPECT_TRUE(entries(folder).empty());
}

// A file-size limit makes every write past it fail as a full disk would.
TEST_F(PngWrite, AFullDiskKeepsTheEarlierFile)
{
    {
        std::ofstream old(folder + "/keep.png");
        old << "an older file";
    }
    SurfacePtr s = make_surface(256, 256);
    unsigned seed = 12345;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            seed = seed * 1103515245u + 12345u;
            jgraphics_image_surface_set_pixel(s.get(), x, y,
                                              t_jrgba{(seed >> 8 & 255) / 255.0, (seed >> 16 & 255) / 255.0,
                                                      (seed >> 24) / 255.0, 1});
        }
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    t_max_err err = jgraphics_image_surface_writepng(s.get(), "keep.png", id, 72);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, old_handler);
    EXPECT_NE(err, MAX_ERR_NONE);
    EXPECT_EQ(read_text(folder + "/keep.png"), "an older file");
    EXPECT_EQ(entries(folder), std::vector<std::string>{"keep.png"});
}
