// patchhost render's parts: the command line, the axis arithmetic of the
// figure, the choice of analysis resolution, the figure itself, one render
// job and the parallel batch.  Everything except the batch's bookkeeping
// runs on the host's main thread (a batch forks one process per file).
#pragma once

#include "maxhost.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace patchhost::render {

// ---------------------------------------------------------------- exit statuses
enum Status {
    status_ok = 0,        // every image written
    status_failed = 1,    // an image could not be analysed or written
    status_usage = 2,     // the command line is wrong, or an input cannot be read
};

// ---------------------------------------------------------------- options
using AttrList = std::vector<std::pair<std::string, maxhost::Atoms>>;

struct Options {
    std::vector<std::string> inputs; // files and folders as given
    std::string out;                 // a .png file, or a folder (ends in '/' or exists)
    std::string colorbar;            // --colorbar BAR.png (single file only)
    long width = 1200, height = 400;
    bool full = false;
    bool plain = false;
    bool all_channels = false;       // --channel all
    long channel = 1;                // 0 = mean of all channels
    long jobs = 0;                   // -j N; 0 = the number of processors
    bool quiet = false;              // no progress line
    AttrList attrs;                  // @name value... in command-line order
};

// Parses argv (argv[0] is "render").  False and a message naming the fault
// in *err (with a suggestion where one is near); *help set for --help.
bool parse_options(int argc, char **argv, Options *o, bool *help, std::string *err);
// Checks the @attributes against the spectrogram~ class as registered:
// unknown names (with the nearest valid one), attributes render sets itself,
// words where numbers belong, a wrong number of values.  Enumeration names
// ("@mag_scale Log") become their indices.  False and a message otherwise.
bool check_attributes(t_object *spectrogram, AttrList *attrs, std::string *err);
// What the attributes were clamped to: one "@name VALUE was clamped to
// VALUE" line per attribute whose value reads back differently.
std::vector<std::string> clamp_notes(t_object *spectrogram, const AttrList &attrs);
// The --help text: every option, then every attribute of the class with
// its type, range and default as registered.
std::string help_text(t_object *spectrogram);
// True when `path` names an existing folder.
bool is_folder(const std::string &path);
// The closest of `words` to `word` by edit distance, empty when none is near.
std::string nearest(const std::string &word, const std::vector<std::string> &words);

// ---------------------------------------------------------------- axes
// Magnitude scales, in the order of the mag_scale attribute.
enum Scale { scale_lin, scale_mel, scale_log, scale_bark, scale_erb };

// Height of frequency f (Hz) in a plot of the whole range of `scale` at
// Nyquist frequency `nyquist`, 0 at the bottom row's lower edge and 1 at the
// top row's upper edge; outside 0..1 when f is not shown.
double scale_position(int scale, double f, double nyquist);

struct Tick {
    double value; // Hz, seconds or dB
    double pos;   // pixels from the start of the axis (bottom or left)
    std::string label;
};
// Round frequencies (a 1-2-5 step on Lin; on the other scales powers of ten
// first, then 2 and 5 times them, then the other one-digit values) spaced at
// least `gap` pixels apart on an axis `length` pixels long.  Labels in Hz,
// "k" for thousands.
std::vector<Tick> frequency_ticks(int scale, double nyquist, double length, double gap);
// Round times for a span of `span` seconds from 0 on an axis `length` pixels
// long, at least `gap` pixels apart, and the axis title (with its unit).
std::vector<Tick> time_ticks(double span, double length, double gap, std::string *title);
// Round dB values between lo and hi on an axis `length` pixels long; both
// ends are always labelled, values too close to them are left out.
std::vector<Tick> db_ticks(double lo, double hi, double length, double gap);

// ---------------------------------------------------------------- resolution
struct Resolution {
    long win_size = 2048;
    long overlap = 2;
    long frames = 0; // analysis frames this gives
};
// The grids of the analysis may take at most this much memory when the
// resolution is chosen (two floats per cell).
constexpr double k_grid_budget_bytes = 1024.0 * 1024 * 1024;
// Frames of a channel of `samples` samples at this window and hop.
long frame_count(long samples, long win_size, long hop);
// A window and overlap that give at least one frame per column (when the
// sound is long enough) and at least as many bins as rows: the window
// fits the rows and grows with the sound up to 4096, the overlap makes up
// the frames, within the object's limits and the grid budget.
Resolution choose_resolution(long samples, long columns, long rows);

// ---------------------------------------------------------------- one render
struct Job {
    std::string in, out, colorbar;
};
// Renders one sound file with the options (inputs and out ignored).
// Messages go to `err` (one line each, without a newline), "wrote ..."
// lines to `out`.  Returns the exit status for this file.
int render_one(const Options &o, const Job &job, const std::function<void(const std::string &)> &out,
               const std::function<void(const std::string &)> &err);

// ---------------------------------------------------------------- figure
struct Panel {
    maxhost::Image plot; // the spectrogram image, plot size
    std::string channel_label;
};
struct FigureInfo {
    std::string title;
    int scale = scale_mel;
    double nyquist = 24000;
    double seconds = 1;      // the sound's duration
    double mag_min = -100, mag_max = 0;
    maxhost::Image bar;      // the colour bar, bar size
};
// Layout of a figure of width x height pixels with `panels` panels.
struct Layout {
    int width = 0, height = 0;
    int plot_x = 0, plot_y = 0, plot_w = 0, plot_h = 0; // first panel
    int panel_step = 0; // from one panel's top to the next
    int bar_x = 0, bar_w = 0, bar_h = 0; // the colour bar, beside all panels
};
// False when the size leaves no room for the plot.
bool figure_layout(int width, int height, int panels, Layout *l);
// Draws the figure: title, framed plots with their axes, the colour bar.
bool figure_draw(const Layout &l, const FigureInfo &info, const std::vector<Panel> &panels, maxhost::Image *out);

// ---------------------------------------------------------------- batch
// Renders every job, up to `jobs` at a time in child processes, with a
// progress line on a terminal and a summary.  Returns the worst status.
int run_batch(const Options &o, const std::vector<Job> &jobs);

} // namespace patchhost::render
