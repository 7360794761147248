// Writes the demo sound: eight seconds of stereo at 48 kHz made of steady
// tones, an exponential chirp (rising on the left, falling on the right), a
// harmonic tone with vibrato and three noise bursts, as a 32-bit float WAV.
// Longer sounds (for benchmarks) repeat the eight seconds.
//
//     make-demo-sound OUT.wav [SECONDS [CHANNELS]]
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <random>
#include <vector>

namespace {

const double sr = 48000;
const double pattern_seconds = 8;
const double two_pi = 2 * M_PI;

// Raised-cosine fade in and out over `ramp` seconds inside [t0, t1).
double envelope(double t, double t0, double t1, double ramp)
{
    if (t < t0 || t >= t1)
        return 0;
    double a = std::min(1.0, (t - t0) / ramp), b = std::min(1.0, (t1 - t) / ramp);
    return 0.5 - 0.5 * std::cos(M_PI * std::min(a, b));
}

struct voice_state {
    double chirp_phase = 0, vib_phase = 0;
};

float sample(long i, int channel, voice_state &v, std::mt19937 &rng)
{
    double t = std::fmod(i / sr, pattern_seconds);
    double out = 0;
    out += 0.08 * std::sin(two_pi * (channel == 0 ? 440.0 : 660.0) * t); // steady tones
    out += 0.05 * std::sin(two_pi * 3520.0 * t) * envelope(t, 0.2, 7.8, 0.2);
    // Exponential chirp from 100 Hz to 12 kHz (reversed on the right) between 1 and 4 s.
    double c = envelope(t, 1.0, 4.0, 0.05);
    if (c > 0) {
        double u = (t - 1.0) / 3.0;
        double f = channel == 0 ? 100 * std::pow(120.0, u) : 12000 * std::pow(1 / 120.0, u);
        v.chirp_phase += two_pi * f / sr;
        out += 0.25 * c * std::sin(v.chirp_phase);
    }
    // Ten harmonics of 220 Hz with a 5.5 Hz, 3 % vibrato between 4.3 and 7.3 s.
    double h = envelope(t, 4.3, 7.3, 0.1);
    if (h > 0) {
        double f0 = 220 * (1 + 0.03 * std::sin(two_pi * 5.5 * (t - 4.3)));
        v.vib_phase += two_pi * f0 / sr;
        for (int k = 1; k <= 10; k++)
            out += h * 0.2 / k * std::sin(k * v.vib_phase);
    }
    // Noise bursts of 150 ms.
    std::uniform_real_distribution<double> noise(-1, 1);
    for (double start : {0.5, 2.5, 6.5})
        out += 0.2 * envelope(t, start, start + 0.15, 0.01) * noise(rng);
    return (float)out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 4) {
        fprintf(stderr, "usage: make-demo-sound OUT.wav [SECONDS [CHANNELS]]\n");
        return 2;
    }
    double seconds = argc > 2 ? atof(argv[2]) : pattern_seconds;
    int channels = argc > 3 ? atoi(argv[3]) : 2;
    if (!(seconds > 0) || seconds > 3600 || channels < 1 || channels > 2) {
        fprintf(stderr, "make-demo-sound: SECONDS must be 0..3600 and CHANNELS 1 or 2\n");
        return 2;
    }
    long frames = (long)(sr * seconds);
    std::vector<float> data((size_t)frames * channels);
    for (int c = 0; c < channels; c++) {
        voice_state v;
        std::mt19937 rng(17 + c);
        for (long i = 0; i < frames; i++)
            data[(size_t)i * channels + c] = sample(i, c, v, rng);
    }
    SF_INFO info = {};
    info.samplerate = (int)sr;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *f = sf_open(argv[1], SFM_WRITE, &info);
    if (!f) {
        fprintf(stderr, "make-demo-sound: cannot write %s: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    sf_count_t written = sf_writef_float(f, data.data(), frames);
    sf_close(f);
    if (written != frames) {
        fprintf(stderr, "make-demo-sound: short write to %s\n", argv[1]);
        return 1;
    }
    return 0;
}
