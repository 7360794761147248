// View, selection and zoom commands of spectrogram~.
#pragma once

#include "specgram.h"

#ifdef __cplusplus
extern "C" {
#endif

// Runs the view, selection or zoom command named s; returns 0 if s names none.
int specgram_view_command(t_specgram *x, t_symbol *s);
// Removes every shape, or the most recent one, and redraws the draw layer.
void specgram_shapes_clear(t_specgram *x);
void specgram_shapes_clear_last(t_specgram *x);

#ifdef __cplusplus
}
#endif
