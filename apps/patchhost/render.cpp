// patchhost render: sound files' spectrograms as PNGs, through a real patch
// (a buffer~ reading the file, a spectrogram~ box, a gradix for the colour
// bar).
//
//   patchhost render IN... -o OUT.png|DIR/ [--size WxH] [--plain] [--full]
//                    [--channel N|all] [--colorbar BAR.png] [-j N] [--quiet]
//                    [@attribute value...]
//
// The default image is a figure: the plot framed by axes with round ticks,
// their titles, the colour bar with its dB values and a title line
// (render_figure.cpp), with an analysis fitted to the plot.  --plain is the
// box image with the object's own labels, --full the object's
// one-pixel-per-cell export.  The command line is checked against the
// spectrogram~ class as registered before anything is analysed
// (render_cli.cpp); one file renders here, several in parallel child
// processes (render_batch.cpp).  Exit status: 0 every image written; 1 an
// image could not be analysed or written; 2 a wrong command line or an
// unreadable input.
#include "patchhost.h"
#include "render.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

namespace patchhost::render {

namespace {

std::string lower_extension(const std::string &name)
{
    size_t dot = name.find_last_of('.');
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    return ext;
}

// The sound files of a folder (by extension, what libsndfile reads), sorted.
std::vector<std::string> sound_files(const std::string &folder)
{
    static const std::set<std::string> exts = {"wav", "wave", "aif", "aiff", "aifc", "flac", "ogg", "oga",
                                               "opus", "caf", "au", "snd", "w64", "rf64", "mp3"};
    std::vector<std::string> out;
    DIR *d = opendir(folder.c_str());
    if (!d)
        return out;
    while (dirent *e = readdir(d)) {
        std::string name = e->d_name;
        std::string path = folder + (folder.back() == '/' ? "" : "/") + name;
        if (name[0] != '.' && exts.count(lower_extension(name)) && !is_folder(path))
            out.push_back(path);
    }
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

std::string stem(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// One job per input file (a folder gives its sound files); false and *err
// when a folder holds none, the output folder cannot be made or two inputs
// would write the same PNG.
bool make_jobs(const Options &o, std::vector<Job> *jobs, std::string *err)
{
    const bool folder_out = o.out.back() == '/' || is_folder(o.out);
    std::map<std::string, std::string> written_by;
    for (const std::string &in : o.inputs) {
        std::vector<std::string> files = is_folder(in) ? sound_files(in) : std::vector<std::string>{in};
        if (files.empty()) {
            *err = "no sound files in the folder " + in;
            return false;
        }
        for (const std::string &f : files) {
            Job j;
            j.in = f;
            j.out = folder_out ? o.out + (o.out.back() == '/' ? "" : "/") + stem(f) + ".png" : o.out;
            j.colorbar = o.colorbar;
            auto [it, fresh] = written_by.emplace(j.out, f);
            if (!fresh) {
                *err = it->second + " and " + f + " would both write " + j.out;
                return false;
            }
            jobs->push_back(j);
        }
    }
    if (folder_out && !is_folder(o.out) && mkdir(o.out.c_str(), 0777) != 0) {
        *err = "cannot make the output folder " + o.out;
        return false;
    }
    return true;
}

int fail_usage(const std::string &message)
{
    fprintf(stderr, "patchhost render: %s\n", message.c_str());
    fprintf(stderr, "patchhost render --help lists every option and attribute\n");
    return status_usage;
}

bool env_serial()
{
    const char *env = getenv("MAXHOST_SERIAL");
    return env && *env && *env != '0';
}

} // namespace

} // namespace patchhost::render

namespace patchhost {

int render_main(int argc, char **argv)
{
    using namespace render;
    Options o;
    bool help = false;
    std::string err;
    bool parsed = parse_options(argc, argv, &o, &help, &err);
    if (!parsed && !help)
        return fail_usage(err);
    // Only errors reach the terminal (not the plug-ins' greetings).
    maxhost::set_console_sink([](const maxhost::ConsoleLine &l) {
        if (l.level == "error")
            fprintf(stderr, "patchhost render: %s\n", l.text.c_str());
    });
    // A probe box answers for the class as registered.  Its analysis runs
    // inline, so that no worker thread exists before a batch forks.
    maxhost::set_serial_workers(true);
    t_object *patcher = maxhost::patcher_new("");
    maxhost::BoxSpec made;
    made.maxclass = "spectrogram~";
    made.rect = {0, 0, 100, 100};
    t_object *probe = maxhost::box_new(patcher, made);
    if (!probe || maxhost::box_is_placeholder(probe)) {
        maxhost::patcher_free(patcher);
        fprintf(stderr, "patchhost render: the spectrogram~ plug-in cannot be loaded\n");
        return status_failed;
    }
    std::vector<std::string> notes;
    bool attrs_ok = help || check_attributes(probe, &o.attrs, &err);
    if (help) {
        fputs(help_text(probe).c_str(), stdout);
    } else if (attrs_ok) {
        for (const auto &[name, values] : o.attrs)
            maxhost::attr_set(probe, name, values);
        notes = clamp_notes(probe, o.attrs);
    }
    maxhost::patcher_free(patcher);
    maxhost::pump();
    if (help)
        return status_ok;
    if (!attrs_ok)
        return fail_usage(err);
    for (const std::string &n : notes)
        fprintf(stderr, "patchhost render: %s\n", n.c_str());
    std::vector<Job> jobs;
    if (!make_jobs(o, &jobs, &err))
        return fail_usage(err);
    if (jobs.size() > 1 || is_folder(o.inputs[0]))
        return run_batch(o, jobs);
    maxhost::set_serial_workers(env_serial());
    return render_one(o, jobs[0], [](const std::string &s) { printf("%s\n", s.c_str()); },
                      [](const std::string &s) { fprintf(stderr, "patchhost render: %s\n", s.c_str()); });
}

} // namespace patchhost
