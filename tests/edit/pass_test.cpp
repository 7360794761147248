// Kernels run as passes over the frames: the edit pipeline streams the edit
// STFT through them a frame at a time, and the result must be that of the
// kernel over the whole spectra, bit for bit, whatever the block sizes.
#include "edit_internal.h"

#include <gtest/gtest.h>

#include <math.h>
#include <random>
#include <stdlib.h>
#include <string.h>
#include <vector>

namespace {

const double kRate = 48000.0;
const int64_t kLen = 48000;

std::vector<float> test_signal()
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-0.1f, 0.1f);
    std::vector<float> x((size_t)kLen);
    for (int64_t n = 0; n < kLen; n++)
        x[(size_t)n] = u(rng) + (float)(0.3 * sin(2.0 * 3.14159265358979 * 1000.0 * (double)n / kRate));
    return x;
}

struct Case
{
    const char *name;
    t_specedit_op op;
};

// A triangle around the tone over the first half second, and one sloping
// shape crossing a few hundred hertz.
double g_points[] = {50.0, 500.0, 400.0, 900.0, 100.0, 2000.0, 600.0, 3000.0, 900.0, 3500.0, 700.0, 6000.0};
long g_starts[] = {0, 3};
long g_counts[] = {3, 3};
const t_specedit_shapes g_shapes = {g_points, g_starts, g_counts, 2};
const t_specedit_rect g_rect = {120.0, 700.0, 400.0, 2500.0};

std::vector<Case> cases()
{
    const t_specedit_rect *r = &g_rect;
    const t_specedit_shapes *s = &g_shapes;
    return {
        {"gain rect", {SPECEDIT_GAIN_MASK, r, nullptr, 0, 0, 0.25, 0.9, 0.0, 1.0}},
        {"gain shapes", {SPECEDIT_GAIN_MASK, nullptr, s, 0, 0, 0.0, 1.0, 0.0, 1.0}},
        {"freq rect", {SPECEDIT_FREQ_SHIFT, r, nullptr, SPECEDIT_MOVE_MIX, 0, 1.0, 1.0, 310.0, 0.8}},
        {"freq shapes inverted",
         {SPECEDIT_FREQ_SHIFT, nullptr, s, SPECEDIT_COPY_REPLACE, 1, 1.0, 1.0, -95.5, 1.0}},
        {"pitch rect", {SPECEDIT_PITCH_SHIFT, r, nullptr, SPECEDIT_MOVE_REPLACE, 0, 1.0, 1.0, 4.0, 1.0}},
        {"pitch shapes inverted",
         {SPECEDIT_PITCH_SHIFT, nullptr, s, SPECEDIT_COPY_MIX, 1, 1.0, 1.0, -3.5, 0.7}},
    };
}

// The kernel over the whole stft_frames, through its specedit_apply_* entry.
int apply_whole(t_specmags *m, const t_specedit_op &op)
{
    switch (op.kernel) {
    case SPECEDIT_GAIN_MASK:
        if (op.rect)
            specedit_apply_gain_mask_selection(m, op.rect, op.gain_in, op.gain_out);
        else
            specedit_apply_gain_mask_shapes(m, op.shapes, op.gain_in, op.gain_out);
        return 1;
    case SPECEDIT_FREQ_SHIFT:
        return op.rect
                   ? specedit_apply_freq_shift_selection(m, op.rect, op.mode, op.inverted, op.shift, op.gain)
                   : specedit_apply_freq_shift_shapes(m, op.shapes, op.mode, op.inverted, op.shift, op.gain);
    default:
        return op.rect
                   ? specedit_apply_pitch_shift_selection(m, op.rect, op.mode, op.inverted, op.shift, op.gain)
                   : specedit_apply_pitch_shift_shapes(m, op.shapes, op.mode, op.inverted, op.shift, op.gain);
    }
}

int pass_frame(void *pass, float *row, int64_t frame)
{
    return specedit_pass_frames((t_specedit_pass *)pass, row, frame, 1);
}

class Pass : public ::testing::Test
{
  protected:
    t_specmags m;
    std::vector<float> x = test_signal();

    void SetUp() override
    {
        memset(&m, 0, sizeof(m));
        ASSERT_EQ(specmags_init(&m, kLen, 2048, 1, 4, 1024, kRate), 1);
    }
    void TearDown() override { specmags_cleanup(&m); }

    std::vector<float> frames() const
    {
        return std::vector<float>(m.stft_frames, m.stft_frames + m.stft_num_frames * m.stft_num_bins * 2);
    }
    std::vector<float> out() const { return std::vector<float>(m.stft_out, m.stft_out + kLen); }
};

TEST_F(Pass, StreamedEditEqualsTheWholeSpectraEdit)
{
    for (const Case &c : cases()) {
        ASSERT_EQ(specmags_stft_forward(&m, x.data()), 1);
        ASSERT_EQ(apply_whole(&m, c.op), 1) << c.name;
        ASSERT_EQ(specmags_stft_inverse(&m), 1);
        const std::vector<float> whole = out();

        t_specedit_pass p;
        ASSERT_EQ(specedit_pass_begin(&p, &m, &c.op), 1) << c.name;
        ASSERT_EQ(specmags_stft_stream(&m, x.data(), pass_frame, &p), 1) << c.name;
        specedit_pass_end(&p);
        EXPECT_EQ(out(), whole) << c.name;
        EXPECT_NE(out(), x) << c.name; // the edit did something
    }
}

TEST_F(Pass, AnyBlockSizesGiveTheWholeSpectraEdit)
{
    ASSERT_EQ(specmags_stft_forward(&m, x.data()), 1);
    const std::vector<float> orig = frames();
    const int64_t nf = m.stft_num_frames, row = m.stft_num_bins * 2;
    for (const Case &c : cases()) {
        ASSERT_EQ(apply_whole(&m, c.op), 1);
        const std::vector<float> whole = frames();
        for (int64_t block : {(int64_t)1, (int64_t)7, (int64_t)64, nf}) {
            std::vector<float> f = orig;
            t_specedit_pass p;
            ASSERT_EQ(specedit_pass_begin(&p, &m, &c.op), 1);
            for (int64_t first = 0; first < nf; first += block) {
                const int64_t count = first + block <= nf ? block : nf - first;
                ASSERT_EQ(specedit_pass_frames(&p, f.data() + first * row, first, count), 1);
            }
            specedit_pass_end(&p);
            specedit_pass_end(&p); // twice is harmless
            EXPECT_EQ(f, whole) << c.name << " in blocks of " << block;
        }
        memcpy(m.stft_frames, orig.data(), orig.size() * sizeof(float));
    }
}

TEST_F(Pass, BlocksAfterTheFirstMustFollowIt)
{
    ASSERT_EQ(specmags_stft_forward(&m, x.data()), 1);
    const std::vector<float> orig = frames();
    const int64_t row = m.stft_num_bins * 2;
    t_specedit_pass p;
    const t_specedit_op op = cases()[4].op; // the pitch shift carries state
    ASSERT_EQ(specedit_pass_begin(&p, &m, &op), 1);
    ASSERT_EQ(specedit_pass_frames(&p, m.stft_frames + 2 * row, 2, 2), 1); // a pass may start anywhere
    EXPECT_EQ(specedit_pass_frames(&p, m.stft_frames, 0, 4), 0);           // not back
    EXPECT_EQ(specedit_pass_frames(&p, m.stft_frames + 5 * row, 5, 3), 0); // nor past a gap
    EXPECT_EQ(specedit_pass_frames(&p, m.stft_frames + 4 * row, 4, 0), 1);
    specedit_pass_end(&p);
    const std::vector<float> now = frames();
    EXPECT_TRUE(std::equal(now.begin(), now.begin() + 2 * row, orig.begin()));
    EXPECT_TRUE(std::equal(now.begin() + 4 * row, now.end(), orig.begin() + 4 * row));
}

int g_fail_at = -1, g_calls = 0;
void *counting_calloc(size_t count, size_t size)
{
    return g_calls++ == g_fail_at ? nullptr : calloc(count, size);
}

TEST_F(Pass, BeginWithoutMemoryOrSizesFails)
{
    // The frames need not exist, only the sizes.
    EXPECT_EQ(m.stft_frames, nullptr);
    specedit_set_calloc(counting_calloc);
    for (const Case &c : cases()) {
        g_calls = 0;
        g_fail_at = -1;
        t_specedit_pass p;
        ASSERT_EQ(specedit_pass_begin(&p, &m, &c.op), 1) << c.name;
        specedit_pass_end(&p);
        const int total = g_calls;
        for (int k = 0; k < total; k++) {
            g_calls = 0;
            g_fail_at = k;
            EXPECT_EQ(specedit_pass_begin(&p, &m, &c.op), 0) << c.name << " " << k;
            EXPECT_EQ(p.work, nullptr);
            specedit_pass_end(&p);
        }
    }
    specedit_set_calloc(nullptr);

    // A zero shift is a pass with nothing to do; bad sizes are refused.
    t_specedit_op none = cases()[2].op;
    none.shift = 0.0;
    t_specedit_pass p;
    ASSERT_EQ(specedit_pass_begin(&p, &m, &none), 1);
    EXPECT_EQ(p.work, nullptr);
    specedit_pass_end(&p);
    t_specmags off;
    memset(&off, 0, sizeof(off));
    EXPECT_EQ(specedit_pass_begin(&p, &off, &cases()[0].op), 0);
}

} // namespace
