// Spectral edits of spectrogram~ carried into the buffer~, and the undo and
// redo stacks of whole-buffer snapshots.
//
// An edit transforms the whole analysed signal of a channel through the edit
// STFT, lets one kernel change the cells of its target, and writes the whole
// resynthesis back.  It writes nothing when any step fails (no buffer, no
// target, a signal shorter than the edit window, no memory): the buffer is
// then neither changed nor marked dirty.  With buffer_chan 0 every channel
// is edited on its own; all channels are computed before any is written.
//
// Threads: main thread.  The edits do not take the object's lock; they hold
// the buffer~'s sample lock only while copying samples.  Undo and redo run
// inside the object's lock.
#pragma once

#include "specgram.h"

#ifdef __cplusplus
extern "C" {
#endif

// Shift mode of a message symbol's text: "move-replace" 1, "copy-mix" 2,
// "copy-replace" 3, anything else (or no text) 0.
int specgram_parse_shift_mode(const char *name);

// True when the selection is a target: start != end and low != high.
int specgram_has_selection(const t_specgram *x);

// The six edit operations; gains are linear factors.
void specgram_gain_mask_selection_to_buffer(t_specgram *x, double gain_in, double gain_out);
void specgram_gain_mask_shapes_to_buffer(t_specgram *x, double gain_in, double gain_out);
void specgram_freq_shift_selection_to_buffer(t_specgram *x, int mode, double shift_hz, double gain);
void specgram_freq_shift_shapes_to_buffer(t_specgram *x, int mode, double shift_hz, double gain);
void specgram_pitch_shift_selection_to_buffer(t_specgram *x, int mode, double semitones, double gain);
void specgram_pitch_shift_shapes_to_buffer(t_specgram *x, int mode, double semitones, double gain);

// Snapshots the buffer onto the undo stack and, when that worked, empties
// the redo stack.
void specgram_undo_push(t_specgram *x, const char *label);
// Snapshots the buffer onto a stack (dropping its oldest entry when full).
// Returns 1 on success, 0 when no snapshot could be taken.
int specgram_undo_push_to_stack(t_specgram *x, t_undo_snapshot *stack, long *count, const char *label);
// Writes an entry back into the buffer when its size still matches.
void specgram_undo_restore(t_specgram *x, t_undo_snapshot *entry);
// The undo and redo steps; with verbose set they post their console lines
// (the messages do, the context menu does not).
void specgram_undo(t_specgram *x, int verbose);
void specgram_redo(t_specgram *x, int verbose);
// The label of the top entry of a stack, "" when empty.
const char *specgram_undo_top_label(const t_undo_snapshot *stack, long count);

#ifdef __cplusplus
}
#endif
