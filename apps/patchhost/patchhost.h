// The headless patch runner's parts: the transcript (JSON lines of what the
// patch did), the patch loader, the script interpreter and the buffer~
// report.  Everything runs on the main thread, except that console lines may
// arrive from the host's worker threads (each line is written whole).
#pragma once

#include "maxhost.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

namespace patchhost {

using Json = nlohmann::ordered_json;

// ---------------------------------------------------------------- transcript

struct Transcript {
    FILE *out = nullptr; // borrowed; stdout or a file the caller owns
};

// Writes one JSON object as one line and flushes it.  Any thread.
void transcript_write(Transcript &t, const Json &line);
// Atoms as a JSON array: longs and floats as numbers, symbols as strings.
Json atoms_json(long argc, const t_atom *argv);
// How the transcript names a box: its patch id, else its varname, else null.
Json box_ref(t_object *box);
// Routes outlet messages, console lines, cursor changes and menu and dialog
// requests into the transcript until transcript_uninstall_hooks.
void transcript_install_hooks(Transcript &t);
void transcript_uninstall_hooks();

// ---------------------------------------------------------------- patch

// Loads PATCH.maxpat into a new patcher (folder: the patch's folder).
// Returns null and a message in *err when the file cannot be read, is not
// JSON or has no "patcher"; problems inside the patch go to the console.
t_object *patch_load(const std::string &path, std::string *err);
// How deep arrays and objects nest in JSON text (strings skipped); stops
// counting past `limit`.  Every parser refuses deeper text before parsing,
// so that no input can exhaust the stack.
int json_depth(const std::string &text, int limit);
constexpr int json_max_depth = 64;
// The largest JSON file read (patches are kilobytes; this bounds memory).
constexpr size_t json_max_bytes = (size_t)64 << 20;
// Reads and parses a JSON file: false with a message naming the file and
// the cause (unreadable, a folder or device, empty, too large, too deep,
// not JSON).
bool json_read_file(const std::string &path, Json *doc, std::string *err);
// Sends "loadbang" to every box whose object understands it, in file order.
void patch_loadbang(t_object *patcher);
// Atoms of a saved attribute value; false for values that are not atoms.
bool json_atoms(const Json &value, maxhost::Atoms *out);

// ---------------------------------------------------------------- script

// A script error: the run stops with status 3 and this message.
struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Word {
    std::string text;
    bool quoted = false; // written in double quotes: always a symbol or text
};

// Splits a script line into words ('#' at a word's start ends the line).
// Throws ScriptError for an unterminated quote.
std::vector<Word> script_split(const std::string &line);
// A message argument: an integer literal is a long, a number with a point
// or an exponent a float, anything else (or anything quoted) a symbol.
t_atom word_atom(const Word &w);

struct Runner {
    t_object *patcher = nullptr; // borrowed
    Transcript *transcript = nullptr;
};

// Runs one command line (words already split, non-empty).  Throws ScriptError.
void script_command(Runner &r, const std::vector<Word> &words);
// Runs a whole script, pumping the event queue after every command.
// Returns 0, or 3 after printing "NAME:LINE: problem" to stderr.
int script_run(Runner &r, std::istream &in, const std::string &name);

// ---------------------------------------------------------------- buffers

// FNV-1a 64 over the bit patterns of one channel of interleaved samples,
// each sample's four bytes least significant first, in frame order.
uint64_t channel_hash(const float *samples, long frames, long channels, long channel);
// The "buffer" line for the buffer~ named `name`, read through the SDK's
// buffer reference (attached to `self`).  False and *err when there is none.
bool buffer_report(t_object *self, const std::string &name, Json *line, std::string *err);

// ---------------------------------------------------------------- render

// `patchhost render ...` (argv[0] is "render"): a sound file's spectrogram
// as a PNG through a real patch.  Returns the exit status.
int render_main(int argc, char **argv);

// ---------------------------------------------------------------- classes

// `patchhost classes NAME...` (argv[0] is "classes"): the classes as the
// host registered them, as JSON.  Returns the exit status.
int classes_main(int argc, char **argv);

} // namespace patchhost
