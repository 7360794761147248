// Pooling the dB grid into an image: the block each pixel covers, block
// maxima against a per-pixel reference, row 0 at the bottom, zoomed-in
// views, one-column and one-row grids, and the one-cell-per-pixel mode of
// the full-resolution export.
#include "render_fixture.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Block maximum of pixel (px, py) straight from the pooling rules, one pixel
// at a time: the reference the image is compared with.
float reference_max(GridRecord &g, const t_specgram_block &b, long w, long h, long px, long py)
{
    const long frames = (long)g.x->mags.num_frames, bins = (long)g.x->mags.num_bins;
    auto clampc = [&](long c) { return c <= 0 ? 0 : std::min(c, frames - 1); };
    auto clampr = [&](long r) { return r <= 0 ? 0 : std::min(r, bins - 1); };
    const double P = double(b.c1 - b.c0 + 1) / w, Q = double(b.r1 - b.r0 + 1) / h;
    std::vector<long> cols, rows;
    if (P >= 1) {
        for (long c = b.c0 + long(px * P); c <= std::min(b.c0 + long((px + 1) * P), b.c1); c++)
            cols.push_back(clampc(c));
    } else {
        long c = b.c0 + long(px / (1 / P));
        cols = {clampc(c), clampc(c + 1)};
    }
    if (Q >= 1) {
        for (long r = b.r0 + long(py * Q); r <= std::min(b.r0 + long((py + 1) * Q), b.r1); r++)
            rows.push_back(clampr(r));
    } else {
        rows = {std::min(b.r0 + long(py * Q), b.r1)};
    }
    float m = -INFINITY;
    for (long c : cols)
        for (long r : rows)
            m = std::max(m, g.cell(c, r));
    return m;
}

int grey_of(GridRecord &g, float mag)
{
    t_jrgba c;
    specgram_magnitude_to_color(g.x.get(), &c, mag);
    return component_byte(c.red);
}

TEST(PoolSpans, ZoomedOutBlocksShareTheirBorderCells)
{
    std::vector<t_specgram_span> cols(300), rows(100);
    specgram_pool_spans(0, 1999, 2000, 300, SPECGRAM_POOL_COLUMNS, cols.data());
    specgram_pool_spans(0, 1024, 1025, 100, SPECGRAM_POOL_ROWS, rows.data());
    EXPECT_EQ(cols[0].lo, 0);
    EXPECT_EQ(cols[0].hi, 6);
    EXPECT_EQ(cols[1].lo, 6);
    EXPECT_EQ(cols[1].hi, 13);
    EXPECT_EQ(cols[299].lo, 1993);
    EXPECT_EQ(cols[299].hi, 1999);
    EXPECT_EQ(rows[0].lo, 0);
    EXPECT_EQ(rows[0].hi, 10);
    EXPECT_EQ(rows[99].lo, 1014);
    EXPECT_EQ(rows[99].hi, 1024);
    for (size_t i = 1; i < cols.size(); i++)
        EXPECT_EQ(cols[i].lo, cols[i - 1].hi) << i;
}

TEST(PoolSpans, ZoomedInTakesTwoColumnsButOneRow)
{
    std::vector<t_specgram_span> cols(800), rows(400);
    specgram_pool_spans(0, 99, 100, 800, SPECGRAM_POOL_COLUMNS, cols.data());
    specgram_pool_spans(10, 19, 100, 400, SPECGRAM_POOL_ROWS, rows.data());
    EXPECT_EQ(cols[0].lo, 0);
    EXPECT_EQ(cols[0].hi, 1);
    EXPECT_EQ(cols[8].lo, 1);
    EXPECT_EQ(cols[799].lo, 99);
    EXPECT_EQ(cols[799].hi, 99); // the neighbour past the grid is clamped
    EXPECT_EQ(rows[0].lo, 10);
    EXPECT_EQ(rows[0].hi, 10);
    EXPECT_EQ(rows[399].lo, 19);
    EXPECT_EQ(rows[399].hi, 19);
}

TEST(PoolRender, MatchesTheReferenceOverARandomGrid)
{
    GridRecord g(2000, 1025);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> level(-120.0f, 10.0f);
    for (float &v : g.db)
        v = level(rng);
    const t_specgram_block blocks[] = {{0, 1999, 0, 1024}, {130, 171, 40, 47}, {500, 1500, 3, 900}};
    for (const t_specgram_block &b : blocks) {
        SurfacePtr s = make_surface(300, 100);
        ASSERT_TRUE(specgram_render_block(g.x.get(), &b, s.get(), 300, 100, 1));
        for (long px = 0; px < 300; px += 7)
            for (long py = 0; py < 100; py += 3)
                ASSERT_EQ(pixel_red(s.get(), (int)px, (int)(99 - py)),
                          grey_of(g, reference_max(g, b, 300, 100, px, py)))
                    << "block " << b.c0 << ".." << b.c1 << " pixel " << px << "," << py;
    }
}

TEST(PoolRender, APeakOnABlockBorderLightsBothNeighboursAndRowZeroIsAtTheBottom)
{
    GridRecord g(2000, 1025);
    g.cell(6, 10) = 0.0f; // column 6 ends pixel column 0 and starts 1; row 10 likewise
    const t_specgram_block b = {0, 1999, 0, 1024};
    SurfacePtr s = make_surface(300, 100);
    ASSERT_TRUE(specgram_render_block(g.x.get(), &b, s.get(), 300, 100, 1));
    for (int py = 0; py < 100; py++)
        for (int px = 0; px < 300; px++) {
            const bool lit = px <= 1 && py >= 98;
            ASSERT_EQ(pixel_red(s.get(), px, py), lit ? 255 : 0) << px << "," << py;
        }
}

TEST(PoolRender, AnImageWiderThanTheGridStretchesColumns)
{
    GridRecord g(100, 8);
    for (long r = 0; r < 8; r++)
        g.cell(50, r) = 0.0f;
    const t_specgram_block b = {0, 99, 0, 7};
    SurfacePtr s = make_surface(800, 8);
    ASSERT_TRUE(specgram_render_block(g.x.get(), &b, s.get(), 800, 8, 1));
    for (int px = 0; px < 800; px++) // pixel px takes columns px / 8 and px / 8 + 1
        ASSERT_EQ(pixel_red(s.get(), px, 4), (px >= 392 && px < 408) ? 255 : 0) << px;
}

TEST(PoolRender, OneColumnAndOneRowGridsFillTheImage)
{
    GridRecord column(1, 4);
    column.cell(0, 3) = 0.0f;
    const t_specgram_block bc = {0, 0, 0, 3};
    SurfacePtr s = make_surface(1, 4);
    ASSERT_TRUE(specgram_render_block(column.x.get(), &bc, s.get(), 1, 4, 1));
    EXPECT_EQ(pixel_red(s.get(), 0, 0), 255); // top row: the highest row
    EXPECT_EQ(pixel_red(s.get(), 0, 3), 0);

    GridRecord row(5, 1, 44100.0, -50.0f);
    const t_specgram_block br = {0, 4, 0, 0};
    SurfacePtr t = make_surface(5, 1);
    ASSERT_TRUE(specgram_render_block(row.x.get(), &br, t.get(), 5, 1, 1));
    for (int px = 0; px < 5; px++)
        EXPECT_EQ(pixel_red(t.get(), px, 0), grey_of(row, -50.0f));
}

TEST(PoolRender, FullResolutionTakesOneCellPerPixel)
{
    GridRecord g(10, 6);
    for (long c = 0; c < 10; c++)
        for (long r = 0; r < 6; r++)
            g.cell(c, r) = -100.0f + 10.0f * (float)r + (float)c;
    const t_specgram_block b = {3, 7, 2, 4};
    SurfacePtr s = make_surface(5, 3);
    ASSERT_TRUE(specgram_render_block(g.x.get(), &b, s.get(), 5, 3, 0));
    for (int k = 0; k < 5; k++)
        for (int j = 0; j < 3; j++)
            EXPECT_EQ(pixel_red(s.get(), k, 2 - j), grey_of(g, g.cell(3 + k, 2 + j))) << k << "," << j;
}

} // namespace
