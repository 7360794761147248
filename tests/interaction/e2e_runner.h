// Runs the patch runner on a patch of tests/interaction/patches with a
// script and parses its transcript, for the end-to-end tests of the mouse
// gestures and the context menu of spectrogram~.  The running and parsing
// are the patch runner tests' own harness (tests/patchhost/runner.h); this
// adds what these tests need on top.
#pragma once

#include "runner.h"

using Transcript = RunResult;

// Runs `patchhost run patches/PATCH --script S` in the scratch folder.
inline Transcript run_script(const std::string &patch, const std::string &script)
{
    return run_patch(patch, script.c_str());
}
// The argument lists of the outlet messages of box `box` on outlet `outlet`.
std::vector<Json> outlet_args(const Transcript &r, const std::string &box, int outlet);
// The transcript lines between `echo FROM` (or the start) and `echo TO` (or the end).
std::vector<Json> between(const Transcript &r, const char *from, const char *to);
// The last Link Out list (outlet 8) among some lines, of any box or of box `box`.
Json last_link(const std::vector<Json> &lines, const std::string &box = "");
// Writes a mono 16-bit PCM WAV file of fn(frame) at `sr` Hz (samples -1..1).
void write_wav(const std::string &path, long frames, long sr, double (*fn)(long frame));
