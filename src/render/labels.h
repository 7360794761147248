// Axis labels: which frequencies get a label, where a label goes, and how a
// time label reads.  Pure functions, no drawing and no host calls; the text
// layer and the PNG export call them while they draw.
//
// Frequencies are in Hz, times in ms, positions in pixels of the drawing
// (frequency labels along the left edge, y down from the top; time labels
// along the top edge).  Frequency label lists depend on the magnitude scale
// (0 Lin, 1 Mel, 2 Log, 3 Bark, 4 ERB; any other value has no labels) and on
// the Nyquist frequency.  Time labels sit on twentieths of the visible span,
// every s-th one of them so that the texts fit the width.  Any thread may
// call them; none allocates.
#pragma once

#include <stddef.h>

#define LABELS_TEXT_SIZE 64 // bytes of a time-label buffer
#define LABELS_FREQ_TEXT_SIZE 32 // bytes of a frequency-label buffer
#define LABELS_TIME_SLOTS 20 // the visible span is divided into twentieths

// The time_format attribute's menu, item n for format n.
#define LABELS_TIME_FORMAT_ENUM "\"H:MM:SS\" Milliseconds Seconds \"Min:Sec\" \"Min:Sec.ms\" Samples"
#define LABELS_TIME_FORMAT_COUNT 6

enum e_labels_time_format {
    LABELS_TIME_HMS = 0,
    LABELS_TIME_MS,
    LABELS_TIME_SECONDS,
    LABELS_TIME_MIN_SEC,
    LABELS_TIME_MIN_SEC_MS,
    LABELS_TIME_SAMPLES
};

typedef struct _labels_freq {
    double freq; // Hz
    int snap;    // 1: the label's row offset is rounded to a whole row before placing it
} t_labels_freq;

#ifdef __cplusplus
extern "C" {
#endif

// Label number index (0 first, in drawing order) of scale for Nyquist
// frequency nyquist.  Writes *label and returns 1, or returns 0 when the list
// has fewer labels (and for every index of a scale outside 0..4).
int labels_freq_at(long scale, double nyquist, int index, t_labels_freq *label);

// Writes the first labels of the list, at most capacity, into out; returns
// how many were written.
int labels_freq_list(long scale, double nyquist, t_labels_freq *out, int capacity);

// Vertical position of a frequency label in a drawing height pixels high:
// row and fraction (0..1 within the row; 0 on the Lin scale) of the label's
// frequency, r0 the lowest visible row, n the number of visible rows (>= 1).
double labels_freq_y(int row, float fraction, int r0, int n, long height, int snap);

// Width in characters of a time label of format (6 for unknown formats).
int labels_time_format_width(long format);

// Formats time t_ms as a label of format into buf (size bytes, normally
// LABELS_TEXT_SIZE, always terminated); Samples use sample_rate (Hz).
// Returns what snprintf returns.
int labels_format_time(char *buf, size_t size, long format, double t_ms, double sample_rate);

// Step s (1..10) between drawn time slots for a drawing width pixels wide
// with text of textsize points in format; writes the slot count k (2..20)
// into *k when k is not null.
int labels_time_step(double width, double textsize, long format, int *k);

// Time (ms) and x position (pixels) of time slot i (0..19) of the view
// display_start, display_length (ms) in a drawing width pixels wide.
void labels_time_slot(int i, double display_start, double display_length, double width, double *t_ms,
                      double *x);

#ifdef __cplusplus
}
#endif
