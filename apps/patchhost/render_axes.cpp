// The arithmetic of the figure's axes and of the analysis resolution that
// render chooses: where a frequency sits on each magnitude scale, which
// round values get ticks, and how many frames a window and hop give.
//
// The frequency positions follow the row-edge tables of spectrogram~'s
// magnitude scales: every scale splits 0 .. Nyquist into rows of equal
// height on its own warped axis (Mel, log from 20 Hz, Bark, ERB), and a plot
// of the whole range shows every row, so the height of a frequency is its
// warped value over the warped value of the top edge.
#include "render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace patchhost::render {

namespace {

double bark(double f) { return (26.28 * f - 1960 * 0.53) / (1960 + f); }

double bark_top(double nyquist)
{
    double z = 13 * std::atan(0.00076 * nyquist) + 3.5 * std::atan(std::pow(nyquist / 7500, 2));
    return std::min(z, 26.27);
}

double erb(double f) { return 21.4 * std::log10(0.00437 * f + 1); }

double mel(double f) { return 2595 * std::log10(1 + f / 700); }

std::string number(double v)
{
    char s[32];
    snprintf(s, sizeof s, "%g", v);
    return s;
}

std::string hertz_label(double f)
{
    return f >= 1000 ? number(f / 1000) + "k" : number(f);
}

bool clear_of(const std::vector<Tick> &ticks, double pos, double gap)
{
    for (const Tick &t : ticks)
        if (std::fabs(t.pos - pos) < gap)
            return false;
    return true;
}

// The smallest step of 1, 2 or 5 times a power of ten that is at least `min`.
double nice_step(double min)
{
    double p = std::pow(10.0, std::floor(std::log10(min)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * p >= min * (1 - 1e-9))
            return m * p;
    return 10 * p;
}

std::vector<Tick> linear_ticks(double lo, double hi, double length, double gap)
{
    std::vector<Tick> out;
    if (!(hi > lo) || length <= 0)
        return out;
    double step = nice_step(gap / length * (hi - lo));
    for (double k = std::ceil(lo / step - 1e-9); k * step <= hi * (1 + 1e-12); k++) {
        double v = k * step;
        if (std::fabs(v) < step * 1e-9)
            v = 0;
        out.push_back({v, (v - lo) / (hi - lo) * length, ""});
    }
    return out;
}

} // namespace

double scale_position(int scale, double f, double nyquist)
{
    switch (scale) {
    case scale_mel:
        return mel(f) / mel(nyquist);
    case scale_log:
        return f <= 0 ? -1 : (std::log10(f) - 1.30103) / (std::log10(nyquist) - 1.30103);
    case scale_bark:
        return bark(f) / bark_top(nyquist);
    case scale_erb:
        return erb(f) / erb(nyquist);
    default:
        return f / nyquist;
    }
}

std::vector<Tick> frequency_ticks(int scale, double nyquist, double length, double gap)
{
    std::vector<Tick> out;
    if (scale == scale_lin) {
        out = linear_ticks(0, nyquist, length, gap);
    } else {
        // 0 where the scale shows it, then tiers of roundness from 10 Hz
        // up; within a tier, low frequencies first.
        if (scale != scale_log && scale != scale_bark)
            out.push_back({0, 0, ""});
        const std::vector<std::vector<double>> tiers = {{1}, {2, 5}, {3, 4, 6, 7, 8, 9}};
        for (const auto &tier : tiers)
            for (double decade = 10; decade <= nyquist; decade *= 10)
                for (double m : tier) {
                    double f = m * decade;
                    double pos = scale_position(scale, f, nyquist) * length;
                    if (f <= nyquist && pos >= 0 && pos <= length && clear_of(out, pos, gap))
                        out.push_back({f, pos, ""});
                }
    }
    std::sort(out.begin(), out.end(), [](const Tick &a, const Tick &b) { return a.value < b.value; });
    for (Tick &t : out)
        t.label = hertz_label(t.value);
    return out;
}

std::vector<Tick> time_ticks(double span, double length, double gap, std::string *title)
{
    std::vector<Tick> out;
    if (!(span > 0) || length <= 0)
        return out;
    const double min_step = gap / length * span;
    if (span < 1) {
        *title = "Time (ms)";
        out = linear_ticks(0, span * 1000, length, gap);
        for (Tick &t : out)
            t.label = number(t.value), t.value /= 1000;
        return out;
    }
    if (span < 120) {
        *title = "Time (s)";
        out = linear_ticks(0, span, length, gap);
        double step = out.size() > 1 ? out[1].value - out[0].value : span;
        int decimals = step >= 1 ? 0 : (int)std::ceil(-std::log10(step) - 1e-9);
        for (Tick &t : out) {
            char s[32];
            snprintf(s, sizeof s, "%.*f", decimals, t.value);
            t.label = s;
        }
        return out;
    }
    // Minutes and hours: steps that divide the clock.
    const double steps[] = {10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    double step = steps[std::size(steps) - 1];
    for (double s : steps)
        if (s >= min_step) {
            step = s;
            break;
        }
    const bool hours = span >= 3600;
    *title = hours ? "Time (h:mm:ss)" : "Time (min:s)";
    for (double v = 0; v <= span + 1e-9; v += step) {
        long s = std::lround(v);
        char text[32];
        if (hours)
            snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
        else
            snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
        out.push_back({v, v / span * length, text});
    }
    return out;
}

std::vector<Tick> db_ticks(double lo, double hi, double length, double gap)
{
    std::vector<Tick> out;
    if (!(hi > lo) || length <= 0)
        return out;
    out.push_back({lo, 0, number(lo)});
    out.push_back({hi, length, number(hi)});
    for (const Tick &t : linear_ticks(lo, hi, length, gap))
        if (clear_of(out, t.pos, gap))
            out.push_back({t.value, t.pos, number(t.value)});
    std::sort(out.begin(), out.end(), [](const Tick &a, const Tick &b) { return a.value < b.value; });
    return out;
}

long frame_count(long samples, long win_size, long hop)
{
    return samples < win_size ? 1 : (samples - win_size) / hop + 1;
}

Resolution choose_resolution(long samples, long columns, long rows)
{
    const long max_window = 32768, max_overlap = 64, min_window = 256;
    columns = std::max(columns, 1L);
    // The hop that gives one frame per column, and the overlap a window needs for it.
    auto overlap_for = [&](long win) {
        long hop = columns > 1 ? (samples - win) / (columns - 1) : win;
        return hop >= win ? 1 : (hop < 1 ? win : (win + hop - 1) / hop);
    };
    long win = 32;
    while (win / 2 + 1 < rows && win < max_window)
        win *= 2;
    // A longer sound affords a longer window (finer low frequencies), up to
    // 4096 and to a 150th of the sound (about 7 columns of a 1000-pixel
    // plot), so short events stay sharp.  Without overlap the grid holds
    // half a cell per sample whatever the window, so that growth is free;
    // with overlap it is taken only while the grid stays small.
    for (long next = win * 2; next <= 4096 && next <= samples / 150; next *= 2) {
        double cells = (double)frame_count(samples, next, next / overlap_for(next)) * (next / 2 + 1);
        if (overlap_for(next) > 1 && cells > 2.5e6)
            break;
        win = next;
    }
    while (overlap_for(win) > max_overlap && win > min_window)
        win /= 2;
    Resolution r;
    r.win_size = win;
    r.overlap = std::min({overlap_for(win), max_overlap, win});
    while (r.overlap > 1 && 8.0 * frame_count(samples, r.win_size, r.win_size / r.overlap) * (r.win_size / 2 + 1) >
                                k_grid_budget_bytes)
        r.overlap--;
    r.frames = frame_count(samples, r.win_size, r.win_size / r.overlap);
    return r;
}

} // namespace patchhost::render
