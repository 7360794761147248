// Fixture for the rendering tests of a real spectrogram~ box in the stand-in
// host: buffer~ boxes filled through the SDK's buffer calls, spectrogram~
// boxes, painting, the console, PNG files read back with libpng, and the
// colours the image should hold, worked out from the box's own dB grid (the
// plug-in lives in the test process, so the box is the t_specgram).
#pragma once

#include "maxhost.h"
#include "specgram_render_internal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct PngImage {
    long width = 0, height = 0;
    bool has_phys = false;
    unsigned long ppm_x = 0, ppm_y = 0;
    std::vector<uint8_t> rgba;
    const uint8_t *at(long x, long y) const { return &rgba[(size_t)(y * width + x) * 4]; }
};

// Reads an 8-bit RGBA PNG; false when the file is missing or not one.
bool read_png(const std::string &path, PngImage *out);

// The colour of magnitude mag under the box's attributes, as bytes.
struct Rgb8 {
    int r, g, b;
    bool operator==(const Rgb8 &o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream &operator<<(std::ostream &os, const Rgb8 &c);
Rgb8 expected_color(t_specgram *x, float mag);
inline Rgb8 rgb_at(const uint8_t *p) { return Rgb8{p[0], p[1], p[2]}; }

// Largest dB value of the cells columns c_lo..c_hi, rows r_lo..r_hi of the box's grid.
float grid_max(t_specgram *x, long c_lo, long c_hi, long r_lo, long r_hi);

class RenderHostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static t_atom sym(const char *s);
    static t_atom num(double f);
    static t_atom lng(long n);

    // A buffer~ NAME of `frames` frames, one channel, at sample rate sr.
    t_object *make_buffer(const std::string &name, long frames, double sr = 48000.0);
    // Writes fn(frame) into every sample of the buffer and marks it dirty.
    void fill_buffer(const std::string &name, const std::function<float(long)> &fn);
    // A spectrogram~ box (labels and selection box hidden unless attrs say otherwise).
    t_specgram *make_specgram(const std::string &buffer, double w, double h,
                              std::vector<std::pair<std::string, maxhost::Atoms>> attrs = {});
    void send(t_specgram *x, long inlet, const char *sel, std::vector<t_atom> args = {});
    void set_attr(t_specgram *x, const char *name, std::vector<t_atom> value);
    maxhost::Image paint(t_specgram *x);
    // Console lines of the spectrogram~ class since the last clear.
    std::vector<maxhost::ConsoleLine> lines();
    // A fresh file path in the test's own folder.
    std::string path(const std::string &name) const { return folder + "/" + name; }

    t_object *patcher = nullptr;
    std::string folder;
    long outlet_messages = 0;
};
