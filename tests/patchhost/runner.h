// Test harness for the patch runner: runs the built patchhost on a patch
// and a script (written to the scratch folder, which is also the working
// directory), and parses its transcript.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

using Json = nlohmann::json;

struct RunResult {
    int status = -1;         // exit status
    std::vector<Json> lines; // the transcript, one object per line
    std::string err;         // standard error
};

// Runs `patchhost run PATCH --script S ARGS...`.  A relative PATCH is taken
// from the test patches folder; the script text goes into a scratch file
// named after the current test (no --script when `script` is null).
RunResult run_patch(const std::string &patch, const char *script, const std::vector<std::string> &args = {});
// The scratch folder (absolute), where scripts, pictures and saves go.
std::string scratch_dir();
std::string patches_dir();
void write_file(const std::string &path, const std::string &text);
// The lines whose "t" is `type`, in order.
std::vector<Json> lines_of(const RunResult &r, const std::string &type);
// The line every run of ui.maxpat starts with: its menuui box answers loadbang.
extern const char *const kUiLoaded;
// Equality that also tells integers from floats (5 is not 5.0).
bool strict_equal(const Json &a, const Json &b);
// Checks that `actual` is exactly the expected lines (JSON texts), in order.
void expect_lines(const std::vector<Json> &actual, const std::vector<std::string> &expected);
