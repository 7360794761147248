// What every fuzz target shares: the host with the plug-ins loaded, a
// scratch folder that every file name is confined to, the linked-views
// patch the messages, mouse and requests are tried on, and the invariants
// checked after each input.  A broken invariant prints what broke and
// aborts, which libFuzzer reports as a crash with the input that caused it.
#pragma once

#include "maxhost.h"

#include <string>

namespace fuzz {

// Once per process: loads spectrogram~ and gradix, makes the scratch folder,
// confines files to it, checks every outlet message for NaN, and silences
// the console.  Returns the scratch folder.
const std::string &setup();

// (Re)installs the outlet hook that aborts on a NaN in any outlet message,
// for targets that install other hooks after setup.
void setup_outlet_check();

// A patch like the editor's demo: buffer~ "snd" (varname buf) holding the
// recording named by FUZZ_RECORDING (`./run fuzz` gives a stereo speech
// recording from Debian's sound theme), or else a second of a stereo
// voice-like synthetic sound, spectrogram~ boxes "left" and
// "right" on its channels, linked both ways, and gradix "bar" patched into
// "left".  Boxes have ids obj-1 .. obj-4.
t_object *linked_patch();

// Resets what an input may have changed that the next must not inherit:
// the recording's samples and size, the views' attributes.
void reset_patch(t_object *patcher);

// The invariants of every spectrogram~ box in the patch and of "snd":
// selection start <= end and low <= high, the display inside the buffer
// and the spectrum, every sample a number.  Aborts on a violation.
void check_invariants(t_object *patcher);

} // namespace fuzz
