// bench-quality: how well the pitch shift keeps steady tones, next to the
// Rubber Band command-line tool run on the same signals.
//
// Each signal (2 s at 48 kHz: single tones from 100 Hz to 8 kHz and chords of
// three) goes through the edit STFT (N = 2048), one pitch shift of the whole
// plane and the inverse, as an edit of the whole channel does.  On the interior second the
// Hann-windowed spectrum gives, per tone, the level change (energy within
// 25 Hz of the shifted tone against that within 25 Hz of the original) and
// the frequency error of the shifted tone; the artefact level is the energy
// more than 25 Hz from every shifted tone, relative to the tones' energy.
// The rubberband program (both its engines: the default and --fine), when
// installed, shifts the same signals as WAV files and is measured the same
// way.  Then a fractional frequency shift, and a voice-like signal (a sung
// vowel with vibrato) shifted up and back down, against the original.
#include "kernels.h"
#include "pffft.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;
const double kRate = 48000.0;
const int kWin = 2048;
const int64_t kLen = 96000;
const int64_t kSegStart = 16000;
const int kSegLen = 65536;  // bins of 0.73 Hz
const double kBand = 25.0;

typedef std::vector<float> Signal;

Signal tones(const std::vector<double> &freqs)
{
    Signal x((size_t)kLen, 0.0f);
    for (size_t t = 0; t < freqs.size(); t++)
        for (int64_t n = 0; n < kLen; n++)
            x[(size_t)n] += (float)(0.2 * sin(2.0 * kPi * freqs[t] * (double)n / kRate + 0.7 * (double)t));
    return x;
}

// A sung /a/: 140 Hz with 5.5 Hz vibrato of +-2 %, harmonics up to 6 kHz
// shaped by three formants, a syllable-rate swell and breath noise of the
// given peak amplitude.
Signal vowel(double breath)
{
    Signal x((size_t)kLen, 0.0f);
    const double formants[3][2] = {{700.0, 110.0}, {1220.0, 120.0}, {2600.0, 160.0}};
    double phase = 0.0;
    unsigned seed = 12345;
    for (int64_t n = 0; n < kLen; n++) {
        double t = (double)n / kRate;
        double f0 = 140.0 * (1.0 + 0.02 * sin(2.0 * kPi * 5.5 * t));
        phase += 2.0 * kPi * f0 / kRate;
        double v = 0.0;
        for (int h = 1; h * f0 < 6000.0; h++) {
            double f = h * f0, amp = 0.0;
            for (const auto &fm : formants)
                amp += 1.0 / (1.0 + pow((f - fm[0]) / fm[1], 2.0));
            v += amp / sqrt((double)h) * sin(h * phase);
        }
        seed = seed * 1664525u + 1013904223u;
        double noise = ((double)(seed >> 8) / 16777216.0 - 0.5) * 2.0 * breath;
        double swell = 0.6 + 0.4 * sin(2.0 * kPi * 1.5 * t);
        x[(size_t)n] = (float)(0.08 * swell * v + noise);
    }
    return x;
}

// Power spectrum of the interior segment, Hann-windowed.
std::vector<double> power(const Signal &x)
{
    PFFFT_Setup *setup = pffft_new_setup(kSegLen, PFFFT_REAL);
    float *buf = (float *)pffft_aligned_malloc(kSegLen * sizeof(float));
    float *out = (float *)pffft_aligned_malloc(kSegLen * sizeof(float));
    for (int n = 0; n < kSegLen; n++)
        buf[n] = x[(size_t)(kSegStart + n)] * (float)(0.5 - 0.5 * cos(2.0 * kPi * n / kSegLen));
    pffft_transform_ordered(setup, buf, out, nullptr, PFFFT_FORWARD);
    std::vector<double> p(kSegLen / 2, 0.0);
    for (int k = 1; k < kSegLen / 2; k++)
        p[k] = (double)out[2 * k] * out[2 * k] + (double)out[2 * k + 1] * out[2 * k + 1];
    pffft_aligned_free(buf);
    pffft_aligned_free(out);
    pffft_destroy_setup(setup);
    return p;
}

double band_energy(const std::vector<double> &p, double f, double half)
{
    const double d = kRate / kSegLen;
    int k0 = std::max(1, (int)ceil((f - half) / d)), k1 = std::min((int)p.size() - 1, (int)floor((f + half) / d));
    double e = 0.0;
    for (int k = k0; k <= k1; k++)
        e += p[k];
    return e;
}

// Power-weighted frequency within 3 Hz of the strongest bin near f.
double centroid(const std::vector<double> &p, double f)
{
    const double d = kRate / kSegLen;
    int best = (int)round(f / d);
    for (int k = (int)((f - 5.0) / d); k <= (int)((f + 5.0) / d); k++)
        if (k > 0 && k < (int)p.size() && p[k] > p[best])
            best = k;
    double num = 0.0, den = 0.0;
    for (int k = best - 4; k <= best + 4; k++) {
        num += p[k] * k * d;
        den += p[k];
    }
    return num / den;
}

struct Quality
{
    double level;      // dB, worst tone
    double artefacts;  // dB
    double freq;       // relative, worst tone
};

Quality measure(const Signal &in, const Signal &out, const std::vector<double> &freqs, double ratio)
{
    std::vector<double> pi = power(in), po = power(out);
    Quality q = {0.0, 0.0, 0.0};
    // Bins within 25 Hz of any shifted tone count as the tones.
    const double d = kRate / kSegLen;
    double tone_energy = 0.0, rest = 0.0;
    for (size_t k = 1; k < po.size(); k++) {
        bool near = false;
        for (double f : freqs)
            near = near || fabs((double)k * d - f * ratio) <= kBand;
        (near ? tone_energy : rest) += po[k];
    }
    for (double f : freqs) {
        double l = 10.0 * log10(band_energy(po, f * ratio, kBand) / band_energy(pi, f, kBand));
        if (fabs(l) > fabs(q.level))
            q.level = l;
        double fe = fabs(centroid(po, f * ratio) / (f * ratio) - 1.0);
        q.freq = std::max(q.freq, fe);
    }
    q.artefacts = 10.0 * log10(std::max(rest, 1e-30) / tone_energy);
    return q;
}

// The edit as the object makes it: the edit STFT over the whole extended
// grid (the channel mirrored about its ends), one kernel pass over the
// whole plane, the inverse; the kernel's own time is summed over the frames.
struct Editor
{
    t_specmags m;
    double kernel_seconds = 0.0;
    Editor()
    {
        memset(&m, 0, sizeof(m));
        specmags_init(&m, kLen, 2048, 1, 4, kWin, kRate);
    }
    ~Editor() { specmags_cleanup(&m); }

    struct Ctx
    {
        t_specedit_pass pass;
        double seconds;
    };
    static int frame(void *ctx, float *row, int64_t i)
    {
        Ctx *c = (Ctx *)ctx;
        auto t0 = std::chrono::steady_clock::now();
        int ok = specedit_pass_frames(&c->pass, row, i, 1);
        c->seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        return ok;
    }
    Signal edit(const Signal &x, const t_specedit_op &op)
    {
        Ctx c;
        c.seconds = 0.0;
        Signal y((size_t)kLen, 0.0f);
        if (!specedit_pass_begin(&c.pass, &m, &op))
            return y;
        t_specmags_stft_span s = {x.data(), 0, kLen, specmags_stft_grid_first(&m), specmags_stft_grid_last(&m),
                                  y.data(), 0, 0};
        specmags_stft_edit_span(&m, &s, frame, &c);
        specedit_pass_end(&c.pass);
        kernel_seconds = c.seconds;
        return y;
    }
    Signal pitch(const Signal &x, double semitones)
    {
        static const t_specedit_rect all = {-1e9, 1e9, 0.0, kRate};
        t_specedit_op op = {SPECEDIT_PITCH_SHIFT, &all, nullptr, SPECEDIT_MOVE_REPLACE, 0, 1.0, 1.0, semitones, 1.0};
        return edit(x, op);
    }
    Signal freq(const Signal &x, double hz, double gain)
    {
        static const t_specedit_rect all = {-1e9, 1e9, 0.0, kRate};
        t_specedit_op op = {SPECEDIT_FREQ_SHIFT, &all, nullptr, SPECEDIT_MOVE_REPLACE, 0, 1.0, 1.0, hz, gain};
        return edit(x, op);
    }
};

bool write_wav(const std::string &path, const Signal &x)
{
    SF_INFO info = {};
    info.samplerate = (int)kRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        return false;
    sf_write_float(f, x.data(), (sf_count_t)x.size());
    sf_close(f);
    return true;
}

bool read_wav(const std::string &path, Signal &x)
{
    SF_INFO info = {};
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f)
        return false;
    x.assign((size_t)std::max<sf_count_t>(info.frames, kLen), 0.0f);
    sf_read_float(f, x.data(), info.frames);
    sf_close(f);
    return true;
}

// Rubber Band's shift of x, or false when the program is missing or failed.
bool rubberband(const std::string &dir, const Signal &x, double semitones, bool fine, Signal &y,
                double &seconds)
{
    std::string in = dir + "/in.wav", out = dir + "/out.wav";
    if (!write_wav(in, x))
        return false;
    char cmd[512];
    snprintf(cmd, sizeof(cmd), "rubberband -q %s -p %.6f '%s' '%s' >/dev/null 2>&1", fine ? "--fine" : "",
             semitones, in.c_str(), out.c_str());
    auto t0 = std::chrono::steady_clock::now();
    int rc = system(cmd);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return rc == 0 && read_wav(out, y);
}

// Clicks every quarter second.
Signal clicks()
{
    Signal x((size_t)kLen, 0.0f);
    for (int64_t n = 6000; n < kLen; n += 12000)
        x[(size_t)n] = 0.5f;
    return x;
}

// Energy of y lying more than a hop from the interior clicks, against all
// within three windows of them (dB): how far the shift smears a hit.
double smear_db(const Signal &y)
{
    const int64_t hop = kWin / 4, wide = 3 * kWin;
    double near = 0.0, all = 0.0;
    for (int64_t click = 18000; click + 2 * wide < kLen - 6000; click += 12000) {
        // Centred on the output's loudest sample near the click, so that a
        // delay does not count as smear.
        int64_t c = click;
        for (int64_t n = click - kWin; n <= click + kWin; n++)
            if (fabs(y[(size_t)n]) > fabs(y[(size_t)c]))
                c = n;
        for (int64_t n = c - wide; n <= c + wide; n++) {
            double e = (double)y[(size_t)n] * y[(size_t)n];
            all += e;
            if (n >= c - hop && n <= c + hop)
                near += e;
        }
    }
    return 10.0 * log10(std::max(all - near, 1e-30) / all);
}

double difference_db(const Signal &a, const Signal &b)
{
    double num = 0.0, den = 0.0;
    for (int n = 0; n < kSegLen; n++) {
        double u = a[(size_t)(kSegStart + n)], v = b[(size_t)(kSegStart + n)];
        num += (u - v) * (u - v);
        den += u * u;
    }
    return 10.0 * log10(num / den);
}

}  // namespace

int main()
{
    struct Case
    {
        const char *name;
        std::vector<double> freqs;
    };
    const std::vector<Case> cases = {
        {"tone 100 Hz", {100.0}},
        {"tone 440 Hz", {440.0}},
        {"tone 1 kHz", {1000.0}},
        {"tone 3.1 kHz", {3100.0}},
        {"tone 8 kHz", {8000.0}},
        {"chord 220 Hz", {220.0, 277.18, 329.63}},
        {"chord 1 kHz", {1000.0, 1259.92, 1498.31}},
        {"chord 3 kHz", {3000.0, 3779.76, 4494.94}},
    };
    const double shifts[] = {-12.0, -7.0, -5.0, -1.0, 1.0, 5.0, 7.0, 12.0};
    char dir_template[] = "/tmp/bench-quality-XXXXXX";
    const char *dir = mkdtemp(dir_template);
    bool have_rb = dir && system("command -v rubberband >/dev/null 2>&1") == 0;
    Editor ed;

    printf("pitch shift of steady tones, 48 kHz, edit STFT N = %d; level change of the worst tone (dB),\n"
           "artefacts (energy > %.0f Hz from the tones, dB), worst frequency error (%%)%s\n",
           kWin, kBand, have_rb ? "" : "; rubberband not installed: its columns are empty");
    printf("%-14s %6s | %7s %7s %7s %8s | %7s %7s %8s | %7s %7s %8s\n", "signal", "shift", "level",
           "artef.", "freq%", "kernel", "RB lev", "RB art", "RB time", "RB3 lev", "RB3 art", "RB3 time");
    double worst_level = 0.0, worst_art = -1e9, worst_freq = 0.0;
    double worst_margin[2] = {-1e9, -1e9};  // ours minus each engine's artefacts
    for (const Case &c : cases) {
        Signal x = tones(c.freqs);
        for (double s : shifts) {
            double ratio = pow(2.0, s / 12.0);
            Signal y = ed.pitch(x, s);
            Quality q = measure(x, y, c.freqs, ratio);
            worst_level = std::max(worst_level, fabs(q.level));
            worst_art = std::max(worst_art, q.artefacts);
            worst_freq = std::max(worst_freq, q.freq);
            printf("%-14s %+6.0f | %+7.2f %7.1f %7.3f %6.1fms |", c.name, s, q.level, q.artefacts,
                   q.freq * 100.0, ed.kernel_seconds * 1e3);
            for (int fine = 0; fine < 2; fine++) {
                Signal r;
                double secs = 0.0;
                if (have_rb && rubberband(dir, x, s, fine, r, secs)) {
                    Quality qr = measure(x, r, c.freqs, ratio);
                    printf(" %+7.2f %7.1f %6.0fms |", qr.level, qr.artefacts, secs * 1e3);
                    worst_margin[fine] = std::max(worst_margin[fine], q.artefacts - qr.artefacts);
                } else {
                    printf(" %7s %7s %8s |", "-", "-", "-");
                }
            }
            printf("\n");
        }
    }
    printf("worst: level %.2f dB, artefacts %.1f dB, frequency %.3f %%", worst_level, worst_art,
           worst_freq * 100.0);
    if (have_rb)
        printf(";\nours minus Rubber Band's artefacts at most %+.1f dB (default engine), %+.1f dB (--fine)",
               worst_margin[0], worst_margin[1]);
    printf("\n\n");

    // Whole-signal identity and the fractional frequency shift.
    Signal one = tones({1000.0});
    Signal same = ed.pitch(one, 1e-9);
    printf("pitch shift by 1e-9 semitones against the input: %.1f dB\n", difference_db(one, same));
    printf("frequency shift of a 1 kHz tone, gain -6 dB: level error by fraction of a bin (dB)\n");
    const double bin = kRate / kWin;
    for (double frac : {0.0, 0.1, 0.25, 0.33, 0.5, 0.67, 0.75, 0.9}) {
        double hz = (21.0 + frac) * bin;
        Signal y = ed.freq(one, hz, pow(10.0, -6.0 / 20.0));
        Quality q = measure(one, y, {1000.0}, (1000.0 + hz) / 1000.0);
        printf("  %5.2f bins: %+6.3f (artefacts %.1f dB)\n", 21.0 + frac, q.level + 6.0, q.artefacts);
    }

    // Clicks: how much energy the shift spreads beyond a hop from each hit.
    Signal hits = clicks();
    printf("\nclicks every 250 ms: energy more than a hop (%d samples) from each click (dB)\n", kWin / 4);
    printf("  input: %.1f\n", smear_db(hits));
    for (double s : {-12.0, -5.0, 5.0, 12.0}) {
        printf("  %+5.0f semitones: %6.1f", s, smear_db(ed.pitch(hits, s)));
        Signal r;
        double secs;
        if (have_rb && rubberband(dir, hits, s, false, r, secs))
            printf("   (Rubber Band: %6.1f)", smear_db(r));
        printf("\n");
    }

    // Voice-like signal up and back down, with a little breath noise and
    // with a lot.
    for (double breath : {0.0005, 0.005}) {
        Signal v = vowel(breath);
        Signal quiet = vowel(0.0);
        double snr = -difference_db(quiet, v);
        printf("\nsung vowel (synthetic, 140 Hz with vibrato, breath noise %.0f dB below the voice) shifted up\n"
               "and back down, difference from the input:\n", snr);
        for (double s : {1.0, 3.0, 5.0, 7.0, 12.0}) {
            Signal up = ed.pitch(v, s);
            Signal back = ed.pitch(up, -s);
            printf("  %+5.0f / %+5.0f semitones: %6.1f dB", s, -s, difference_db(v, back));
            Signal r1, r2;
            double secs;
            if (have_rb && rubberband(dir, v, s, false, r1, secs) && rubberband(dir, r1, -s, false, r2, secs))
                printf("   (Rubber Band: %6.1f dB)", difference_db(v, r2));
            printf("\n");
        }
    }
    if (dir) {
        std::string rm = std::string("rm -rf '") + dir + "'";
        if (system(rm.c_str()) != 0)
            fprintf(stderr, "could not remove %s\n", dir);
    }
    return 0;
}
