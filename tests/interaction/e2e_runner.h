// Runs the patch runner on a patch of tests/interaction/patches with a script
// and parses its transcript, for the end-to-end tests of the mouse gestures
// and the context menu of spectrogram~.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

using Json = nlohmann::json;

struct Transcript {
    int status = -1;         // exit status of patchhost
    std::vector<Json> lines; // one object per transcript line
    std::string err;         // its standard error
};

// Runs `patchhost run patches/PATCH --script S` in the scratch folder; the
// script goes into a scratch file named after the current test.
Transcript run_script(const std::string &patch, const std::string &script);
// The scratch folder (absolute).
std::string scratch_dir();
// The lines whose "t" is `type`, in order.
std::vector<Json> lines_of(const Transcript &r, const std::string &type);
// The argument lists of the outlet messages of box `box` on outlet `outlet`.
std::vector<Json> outlet_args(const Transcript &r, const std::string &box, int outlet);
// Writes a mono 16-bit PCM WAV file of fn(frame) at `sr` Hz (samples -1..1).
void write_wav(const std::string &path, long frames, long sr, double (*fn)(long frame));
