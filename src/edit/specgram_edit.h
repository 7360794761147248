// Spectral edits of spectrogram~ carried into the buffer~, and the undo and
// redo stacks of snapshots of what the edits rewrote.
//
// An edit runs the edit STFT over the frames whose cells its kernel may
// change and writes back only the samples of the frames it did change: the
// rest of the buffer keeps its bits.  It writes nothing when any step fails
// (no buffer, no target, a signal shorter than the edit window, no memory,
// a result that holds a sample that is not a number): the buffer is then
// neither changed nor marked dirty, and no undo entry is pushed.  With
// buffer_chan 0 every channel is edited on its own; all channels are
// computed before any is written.  Given a label, an edit that writes
// pushes an undo entry holding the samples it is about to rewrite.
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

// The linear factor of a gain typed in dB into *gain: 1, or 0 with an error
// on the console naming the value when its single-precision factor is not a
// finite number (a factor of 0, -inf dB or a large negative gain, is fine).
// Messages and menu dialogs both go through it.
int specgram_gain_of_db(t_specgram *x, double db, double *gain);

// Sets self_edit_pending before the buffer is marked dirty, adding frames
// [begin, end) to those the object wrote since the last notification.
void specgram_note_own_write(t_specgram *x, int64_t begin, int64_t end);

// The six edit operations; gains are linear factors.  label: the undo
// entry's label, or null for no entry.
void specgram_gain_mask_selection_to_buffer(t_specgram *x, double gain_in, double gain_out, const char *label);
void specgram_gain_mask_shapes_to_buffer(t_specgram *x, double gain_in, double gain_out, const char *label);
void specgram_freq_shift_selection_to_buffer(t_specgram *x, int mode, double shift_hz, double gain, const char *label);
void specgram_freq_shift_shapes_to_buffer(t_specgram *x, int mode, double shift_hz, double gain, const char *label);
void specgram_pitch_shift_selection_to_buffer(t_specgram *x, int mode, double semitones, double gain,
                                              const char *label);
void specgram_pitch_shift_shapes_to_buffer(t_specgram *x, int mode, double semitones, double gain, const char *label);

// Snapshots samples [begin, end) of channels chan_first .. chan_first +
// chan_count - 1 of the buffer p (frames x channels, locked by the caller)
// onto the undo stack and, when that worked, empties the redo stack.  An
// empty span makes an entry that restores nothing.
void specgram_undo_push(t_specgram *x, const float *p, long frames, long channels, long begin, long end,
                        long chan_first, long chan_count, const char *label);
// The undo and redo steps; with verbose set they post their console lines
// (the messages do, the context menu does not).
void specgram_undo(t_specgram *x, int verbose);
void specgram_redo(t_specgram *x, int verbose);
// The label of the top entry of a stack, "" when empty.
const char *specgram_undo_top_label(const t_undo_snapshot *stack, long count);

#ifdef __cplusplus
}
#endif
