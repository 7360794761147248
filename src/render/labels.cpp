// Axis-label arithmetic for the spectrogram's text layer and its PNG export.
//
// Frequency labels: each scale has a fixed head of round frequencies and an
// open tail (an arithmetic or doubling series) that continues while it stays
// below the Nyquist frequency.  Labels are produced one index at a time so the
// drawing loop can stop at the first one that reaches the top margin, with no
// list to size.  Time labels: formatting of the six formats and the thinning
// step that keeps the texts of twenty slots from overlapping.  The steps done
// in single precision are so on purpose: the box and its PNG export must put
// every label on the same pixel.
#include "labels.h"

#include <math.h>
#include <stdio.h>

static const double labels_mel_head[] = {250, 500, 1000, 2000, 4000, 6000, 8000, 10000};
static const double labels_log_head[] = {125, 250, 500, 1000, 2000};
static const double labels_bark_head[] = {125, 250, 500, 1000, 2000, 4000, 6000, 8000, 10000};

#define LABELS_COUNT(a) ((int)(sizeof(a) / sizeof((a)[0])))
#define LABELS_BARK_SNAPPED 4 // Bark's 125, 250, 500 and 1000 sit on row boundaries

// Label index of a list made of a fixed head and a tail series; the tail
// value of tail index j is first * (j + 1), or first * 2^j when doubling.
static int labels_head_tail(const double *head, int head_count, double first, int doubling,
                            double nyquist, int index, double *freq)
{
    if (index < head_count) {
        *freq = head[index];
        return 1;
    }
    const int j = index - head_count;
    const double f = doubling ? ldexp(first, j) : first * (j + 1);
    if (!(f < nyquist))
        return 0;
    *freq = f;
    return 1;
}

int labels_freq_at(long scale, double nyquist, int index, t_labels_freq *label)
{
    static const double lin_head[] = {1000};
    double f = 0.0;
    int found = 0;
    int snap = 0;

    if (index < 0)
        return 0;
    switch (scale) {
    case 0: // Lin
        found = labels_head_tail(lin_head, 1, nyquist > 48000 ? 10000 : 2000, 0, nyquist, index, &f);
        break;
    case 1: // Mel
        found = labels_head_tail(labels_mel_head, LABELS_COUNT(labels_mel_head), 20000, 0, nyquist, index,
                                 &f);
        break;
    case 2: // Log: the doubling tail from 5000 on is placed on row boundaries
        found = labels_head_tail(labels_log_head, LABELS_COUNT(labels_log_head), 5000, 1, nyquist, index,
                                 &f);
        snap = index >= LABELS_COUNT(labels_log_head);
        break;
    case 3: // Bark
    case 4: // ERB
        found = labels_head_tail(labels_bark_head, LABELS_COUNT(labels_bark_head), 20000, 0, nyquist,
                                 index, &f);
        snap = scale == 3 && index < LABELS_BARK_SNAPPED;
        break;
    default:
        return 0;
    }
    if (!found)
        return 0;
    label->freq = f;
    label->snap = snap;
    return 1;
}

int labels_freq_list(long scale, double nyquist, t_labels_freq *out, int capacity)
{
    int count = 0;
    while (count < capacity && labels_freq_at(scale, nyquist, count, &out[count]))
        count++;
    return count;
}

double labels_freq_y(int row, float fraction, int r0, int n, long height, int snap)
{
    float d = (float)row + fraction;
    d -= (float)r0;
    if (snap)
        d = roundf(d);
    const float rows = (float)(n < 1 ? 1 : n);
    const float top = (float)(height - 1);
    return top - d / rows * top;
}

int labels_time_format_width(long format)
{
    static const int widths[LABELS_TIME_FORMAT_COUNT] = {7, 5, 6, 4, 8, 8};
    return format >= 0 && format < LABELS_TIME_FORMAT_COUNT ? widths[format] : 6;
}

// Minutes and seconds of t_ms.  When the seconds would print as 60 at the
// given number of decimals (59.5 s and up with none), the minute is carried
// so that the label reads m+1:00 rather than m:60.
static void labels_min_sec(double t_ms, int decimals, int *minutes, double *seconds)
{
    const double scale = decimals ? 1000.0 : 1.0;
    int m = (int)(t_ms / 1000.0 / 60.0);
    double s = t_ms / 1000.0 - 60.0 * m;
    if (nearbyint(s * scale) >= 60.0 * scale) {
        m += 1;
        s = fmax(s - 60.0, 0.0);
    }
    *minutes = m;
    *seconds = s;
}

int labels_format_time(char *buf, size_t size, long format, double t_ms, double sample_rate)
{
    int m;
    double s;

    switch (format) {
    case LABELS_TIME_HMS: {
        const double secs = t_ms / 1000.0;
        return snprintf(buf, size, "%d:%02d:%02d", (int)(secs / 3600.0), (int)(fmod(secs, 3600.0) / 60.0),
                        (int)fmod(secs, 60.0));
    }
    case LABELS_TIME_MS:
        return snprintf(buf, size, "%.0f", t_ms);
    case LABELS_TIME_SECONDS:
        return snprintf(buf, size, "%.3f", t_ms / 1000.0);
    case LABELS_TIME_MIN_SEC:
        labels_min_sec(t_ms, 0, &m, &s);
        return snprintf(buf, size, "%d:%02.0f", m, s);
    case LABELS_TIME_MIN_SEC_MS:
        labels_min_sec(t_ms, 3, &m, &s);
        return snprintf(buf, size, "%d:%06.3f", m, s);
    case LABELS_TIME_SAMPLES: {
        // 64-bit count: a 32-bit long (Windows) would overflow past 2^31 samples
        const double samples = fmax(fmin(t_ms / 1000.0 * sample_rate, 9.2e18), -9.2e18);
        return snprintf(buf, size, "%lld", (long long)samples);
    }
    default:
        return snprintf(buf, size, "%.0f", t_ms);
    }
}

int labels_time_step(double width, double textsize, long format, int *k)
{
    const double fit = width / (textsize * 0.5 * labels_time_format_width(format) + 20.0);
    int slots;
    if (!(fit >= 3.0))
        slots = 2;
    else if (fit >= LABELS_TIME_SLOTS)
        slots = LABELS_TIME_SLOTS;
    else
        slots = (int)fit;
    int step = (int)ceilf((float)LABELS_TIME_SLOTS / (float)slots);
    if (step < 1)
        step = 1;
    if (k)
        *k = slots;
    return step;
}

void labels_time_slot(int i, double display_start, double display_length, double width, double *t_ms,
                      double *x)
{
    *t_ms = display_start + i * display_length / LABELS_TIME_SLOTS;
    *x = (float)i / (float)LABELS_TIME_SLOTS * (float)width;
}
