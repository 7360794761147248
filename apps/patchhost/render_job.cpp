// One render: a sound file through a real patch (a buffer~ reading the
// file, a spectrogram~ box, a gradix patched into it) into a PNG.
//
// The spectrogram~ is created with its attributes but without its buffer,
// so that the window and hop can be read back (for --full's size check) and
// chosen (for the figure) before the one analysis that binding the buffer
// starts.  --plain and --full write the object's own export; the default
// figure paints the box and the colour bar at the plot's size with the
// object's labels off and frames them with axes (render_figure.cpp).
#include "patchhost.h"
#include "render.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>

namespace patchhost::render {

namespace {

using Say = std::function<void(const std::string &)>;

// Pixel limits of an image the host can create and write.
constexpr long k_max_side = 32767;
constexpr double k_max_bytes = 2147483648.0;

std::string absolute(const std::string &path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    return std::string(getcwd(cwd, sizeof cwd) ? cwd : ".") + "/" + path;
}

std::string base_name(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

t_atom long_atom(long v)
{
    t_atom a;
    atom_setlong(&a, v);
    return a;
}

t_atom symbol_atom(const std::string &s)
{
    t_atom a;
    atom_setsym(&a, gensym(s.c_str()));
    return a;
}

t_object *box(t_object *patcher, const std::string &maxclass, const std::string &text, t_rect rect, AttrList attrs)
{
    maxhost::BoxSpec made;
    made.maxclass = maxclass;
    made.text = text;
    made.id = maxclass;
    made.rect = rect;
    made.attrs = std::move(attrs);
    return maxhost::box_new(patcher, made);
}

void send_write(t_object *target, const std::string &path, long w, long h)
{
    t_atom av[4] = {symbol_atom(absolute(path)), long_atom(w), long_atom(h), long_atom(72)};
    maxhost::send(target, 0, gensym("write"), 4, av);
}

long attr_long(t_object *o, const std::string &name)
{
    maxhost::Atoms v;
    return maxhost::attr_get(o, name, &v) && !v.empty() ? (long)atom_getlong(&v[0]) : 0;
}

double attr_float(t_object *o, const std::string &name)
{
    maxhost::Atoms v;
    return maxhost::attr_get(o, name, &v) && !v.empty() ? atom_getfloat(&v[0]) : 0;
}

// The menu text of an enumeration attribute's current value.
std::string attr_enum_text(t_object *o, const std::string &name)
{
    long v = attr_long(o, name);
    for (const maxhost::AttrInfo &a : maxhost::attributes_of(o))
        if (a.name == name && v >= 0 && v < (long)a.enumvals.size())
            return a.enumvals[v];
    return std::to_string(v);
}

bool user_set(const Options &o, const std::string &name)
{
    for (const auto &a : o.attrs)
        if (a.first == name)
            return true;
    return false;
}

struct Sound {
    long frames = 0, channels = 0;
    double sr = 0;
};

// --full: the image is one pixel per frame and row; it must fit what the
// host can create and write, which is known before the analysis runs.
bool full_fits(t_object *sg, const Sound &snd, const Job &job, const Say &err)
{
    long win = attr_long(sg, "win_size"), overlap = attr_long(sg, "win_overlap");
    long pad = attr_long(sg, "win_zero_pad");
    long w = frame_count(snd.frames, win, std::max(1L, win / std::max(1L, overlap)));
    long h = win * pad / 2 + 1;
    if (w <= k_max_side && h <= k_max_side && 4.0 * w * h <= k_max_bytes)
        return true;
    err(job.in + ": --full would make a " + std::to_string(w) + " x " + std::to_string(h) +
        " image, over the limit of " + std::to_string(k_max_side) +
        " pixels a side and 2 GiB: use --size WxH instead, or fewer frames (a smaller @win_overlap)");
    return false;
}

std::string title_of(t_object *sg, const Job &job, const Sound &snd, const std::string &channel)
{
    long win = attr_long(sg, "win_size"), overlap = attr_long(sg, "win_overlap");
    char s[512];
    snprintf(s, sizeof s, "%s  \u00b7  %g Hz, %s  \u00b7  %s window %ld, hop %ld  \u00b7  %s scale",
             base_name(job.in).c_str(), snd.sr,
             channel.c_str(), attr_enum_text(sg, "win_type").c_str(), win, win / std::max(1L, overlap),
             attr_enum_text(sg, "mag_scale").c_str());
    return s;
}

std::string channel_text(long channel, long channels)
{
    if (channels == 1)
        return "mono";
    if (channel == 0)
        return "mean of " + std::to_string(channels) + " channels";
    return "channel " + std::to_string(channel) + " of " + std::to_string(channels);
}

maxhost::Atoms transparent()
{
    maxhost::Atoms rgba(4);
    for (t_atom &a : rgba)
        atom_setfloat(&a, 0);
    return rgba;
}

// Makes the box the bare plot at the plot's size, with the resolution
// chosen for it unless the user set one.  The figure draws the labels, and
// the (empty) selection box is made invisible.
void set_up_plot(const Options &o, t_object *sg, const Sound &snd, const Layout &l)
{
    if (!user_set(o, "win_size") && !user_set(o, "win_overlap") && !user_set(o, "win_zero_pad")) {
        Resolution r = choose_resolution(snd.frames, l.plot_w, l.plot_h);
        maxhost::attr_set(sg, "win_zero_pad", {long_atom(1)});
        maxhost::attr_set(sg, "win_size", {long_atom(r.win_size)});
        maxhost::attr_set(sg, "win_overlap", {long_atom(r.overlap)});
    }
    maxhost::attr_set(sg, "freq_text", {long_atom(0)});
    maxhost::attr_set(sg, "time_text", {long_atom(0)});
    maxhost::attr_set(sg, "selection_linecolor", transparent());
    maxhost::box_set_size(sg, l.plot_w, l.plot_h);
}

// What to say when the spectrogram posted an error (no memory for the
// analysis, say) before its picture was written: an image of whatever it
// shows instead would pass for the sound's.
const char *const kNotWritten = ": the spectrogram could not show the sound (see above); nothing was written";

// The figure: each channel analysed and painted in turn by the same box.
// `errors` counts the console errors so far.
int render_figure(const Options &o, const Job &job, t_object *patcher, t_object *sg, const Sound &snd,
                  const int &errors, const Say &out, const Say &err)
{
    std::vector<long> channels;
    if (o.all_channels)
        for (long c = 1; c <= snd.channels; c++)
            channels.push_back(c);
    else
        channels.push_back(o.channel);
    Layout l;
    if (!figure_layout((int)o.width, (int)o.height, (int)channels.size(), &l)) {
        err("--size " + std::to_string(o.width) + "x" + std::to_string(o.height) +
            " leaves no room for the plot: make it larger, or use --plain");
        return status_usage;
    }
    set_up_plot(o, sg, snd, l);
    std::vector<Panel> panels;
    for (long c : channels) {
        maxhost::attr_set(sg, "buffer_chan", {long_atom(c)});
        maxhost::attr_set(sg, "buffer_name", {symbol_atom("patchhost_render")});
        Panel p;
        p.channel_label = o.all_channels ? "channel " + std::to_string(c) : "";
        if (errors) {
            err(job.in + kNotWritten);
            return status_failed;
        }
        if (!maxhost::paint_box(sg, &p.plot)) {
            err(job.in + ": cannot paint the spectrogram");
            return status_failed;
        }
        panels.push_back(std::move(p));
    }
    FigureInfo info;
    info.title = title_of(sg, job, snd, o.all_channels ? std::to_string(snd.channels) + " channels"
                                                       : channel_text(o.channel, snd.channels));
    info.scale = (int)attr_long(sg, "mag_scale");
    info.nyquist = snd.sr / 2;
    info.seconds = snd.frames / snd.sr;
    info.mag_min = attr_float(sg, "mag_min");
    info.mag_max = attr_float(sg, "mag_max");
    t_object *bar = box(patcher, "gradix", "", {0, 0, (double)l.bar_w, (double)l.bar_h},
                        {{"textcolor", transparent()}});
    maxhost::connect(patcher, bar, 0, sg, 0);
    maxhost::send(bar, 0, gensym("bang"), 0, nullptr);
    maxhost::paint_box(bar, &info.bar);
    maxhost::Image image;
    if (!figure_draw(l, info, panels, &image) || !maxhost::write_png(image, absolute(job.out), 72)) {
        err(job.in + ": cannot write " + job.out);
        return status_failed;
    }
    out("wrote figure (" + std::to_string(image.width) + " x " + std::to_string(image.height) + ") to " +
        absolute(job.out));
    return status_ok;
}

} // namespace

int render_one(const Options &o, const Job &job, const Say &out, const Say &err)
{
    int errors = 0;
    maxhost::set_console_sink([&](const maxhost::ConsoleLine &l) {
        if (l.level == "error") {
            errors++;
            err(l.classname + (l.classname.empty() ? "" : ": ") + l.text);
        } else if (l.text.rfind("wrote ", 0) == 0) {
            out(l.text);
        }
    });
    t_object *patcher = maxhost::patcher_new("");
    box(patcher, "newobj", "buffer~ patchhost_render \"" + absolute(job.in) + "\"", {0, 0, 100, 22}, {});
    maxhost::pump();
    Sound snd;
    int status = status_ok;
    if (errors || !maxhost::buffer_info("patchhost_render", &snd.frames, &snd.channels, &snd.sr) ||
        snd.frames < 1) {
        err("cannot read the sound file " + job.in);
        status = status_usage;
    } else if (!o.all_channels && o.channel > snd.channels) {
        err("--channel " + std::to_string(o.channel) + ": " + job.in + " has " + std::to_string(snd.channels) +
            (snd.channels == 1 ? " channel" : " channels") + " (use 1.." + std::to_string(snd.channels) +
            ", 0 for the mean, or all)");
        status = status_usage;
    }
    if (status == status_ok) {
        AttrList attrs = o.attrs;
        attrs.push_back({"buffer_chan", {long_atom(o.all_channels ? 1 : o.channel)}});
        t_object *sg = box(patcher, "spectrogram~", "", {0, 0, (double)o.width, (double)o.height}, attrs);
        if (o.full && !full_fits(sg, snd, job, err)) {
            status = status_failed;
        } else if (o.full || o.plain) {
            // Written before the event queue runs: nobody looks at the
            // boxes, so their scheduled repaints would be wasted.
            maxhost::attr_set(sg, "buffer_name", {symbol_atom("patchhost_render")});
            if (errors) {
                err(job.in + kNotWritten);
                status = status_failed;
            } else {
                send_write(sg, job.out, o.full ? 0 : o.width, o.full ? 0 : o.height);
            }
        } else {
            status = render_figure(o, job, patcher, sg, snd, errors, out, err);
        }
        if (status == status_ok && !job.colorbar.empty()) {
            t_object *bar = box(patcher, "gradix", "", {0, 0, 60, (double)o.height}, {});
            maxhost::connect(patcher, bar, 0, sg, 0);
            maxhost::send(bar, 0, gensym("bang"), 0, nullptr);
            send_write(bar, job.colorbar, 60, o.height);
        }
        if (status == status_ok && errors)
            status = status_failed;
    }
    maxhost::patcher_free(patcher);
    maxhost::pump();
    maxhost::set_console_sink(nullptr);
    return status;
}

} // namespace patchhost::render
