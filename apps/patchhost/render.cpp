// patchhost render: a sound file's spectrogram as a PNG, through a real
// patch (a buffer~ reading the file, a spectrogram~ box of the requested
// size, and a gradix patched into it for the colour bar).
//
//   patchhost render IN.(wav|aif|flac|ogg) -o OUT.png [--size WxH] [--full]
//                    [--channel N] [--colorbar BAR.png] [@attribute value...]
//
// --size is the box size (default 1200x400): the image has that size, with
// labels.  --full writes one pixel per analysis cell instead.  --channel
// picks the channel (0 = the mean of all; default 1).  @attribute value...
// sets spectrogram~ attributes, e.g. @mag_scale 0 @color_scheme 1.
// Prints "wrote ..." per file; exit status 0, 1 on a write failure, 2 on
// bad arguments or an unreadable sound file.
#include "patchhost.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

namespace {

struct RenderOptions {
    std::string in, out, colorbar;
    long width = 1200, height = 400;
    bool full = false;
    long channel = 1;
    std::vector<std::pair<std::string, maxhost::Atoms>> attrs;
};

void render_usage()
{
    fprintf(stderr, "usage: patchhost render IN.(wav|aif|flac|ogg) -o OUT.png [--size WxH] [--full] [--channel N]\n"
                    "                        [--colorbar BAR.png] [@attribute value...]\n");
}

bool parse_size(const std::string &s, long *w, long *h)
{
    char *end = nullptr;
    long a = strtol(s.c_str(), &end, 10);
    if (!end || (*end != 'x' && *end != 'X'))
        return false;
    long b = strtol(end + 1, &end, 10);
    if (!end || *end || a < 1 || b < 1 || a > 100000 || b > 100000)
        return false;
    *w = a;
    *h = b;
    return true;
}

bool parse(int argc, char **argv, RenderOptions *o)
{
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        bool more = i + 1 < argc;
        if ((a == "-o" || a == "--output") && more) {
            o->out = argv[++i];
        } else if (a == "--size" && more) {
            if (!parse_size(argv[++i], &o->width, &o->height))
                return false;
        } else if (a == "--full") {
            o->full = true;
        } else if (a == "--channel" && more) {
            o->channel = strtol(argv[++i], nullptr, 10);
        } else if (a == "--colorbar" && more) {
            o->colorbar = argv[++i];
        } else if (a.size() > 1 && a[0] == '@') {
            maxhost::Atoms values;
            while (i + 1 < argc && argv[i + 1][0] != '@' && std::string(argv[i + 1]).rfind("--", 0) != 0)
                values.push_back(patchhost::word_atom({argv[++i], false}));
            o->attrs.emplace_back(a.substr(1), values);
        } else if (a[0] != '-' && o->in.empty()) {
            o->in = a;
        } else {
            return false;
        }
    }
    return !o->in.empty() && !o->out.empty();
}

std::string absolute(const std::string &path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    return std::string(getcwd(cwd, sizeof cwd) ? cwd : ".") + "/" + path;
}

t_object *box(t_object *patcher, const std::string &maxclass, const std::string &text, const std::string &id,
              t_rect rect, std::vector<std::pair<std::string, maxhost::Atoms>> attrs = {})
{
    maxhost::BoxSpec spec;
    spec.maxclass = maxclass;
    spec.text = text;
    spec.id = id;
    spec.rect = rect;
    spec.attrs = std::move(attrs);
    return maxhost::box_new(patcher, spec);
}

void write(t_object *target, const std::string &path, long w, long h, long dpi)
{
    t_atom av[4];
    atom_setsym(av, gensym(absolute(path).c_str()));
    atom_setlong(av + 1, w);
    atom_setlong(av + 2, h);
    atom_setlong(av + 3, dpi);
    maxhost::send(target, 0, gensym("write"), 4, av);
}

t_atom symbol_atom(const std::string &s)
{
    t_atom a;
    atom_setsym(&a, gensym(s.c_str()));
    return a;
}

} // namespace

namespace patchhost {

int render_main(int argc, char **argv)
{
    RenderOptions o;
    if (!parse(argc, argv, &o)) {
        render_usage();
        return 2;
    }
    int failures = 0;
    maxhost::set_console_sink([&failures](const maxhost::ConsoleLine &l) {
        if (l.level == "error") {
            failures++;
            fprintf(stderr, "%s%s%s\n", l.classname.c_str(), l.classname.empty() ? "" : ": ", l.text.c_str());
        } else if (l.text.rfind("wrote ", 0) == 0) {
            printf("%s\n", l.text.c_str());
        }
    });
    t_object *patcher = maxhost::patcher_new("");
    std::string quoted = "\"" + absolute(o.in) + "\"";
    box(patcher, "newobj", "buffer~ patchhost_render " + quoted, "buffer", {0, 0, 100, 22});
    maxhost::pump();
    long frames = 0, channels = 0;
    if (failures || !maxhost::buffer_info("patchhost_render", &frames, &channels, nullptr) || frames < 1) {
        fprintf(stderr, "patchhost render: cannot read the sound file %s\n", o.in.c_str());
        maxhost::patcher_free(patcher);
        return 2;
    }
    std::vector<std::pair<std::string, maxhost::Atoms>> attrs = {{"buffer_name", {symbol_atom("patchhost_render")}}};
    t_atom chan;
    atom_setlong(&chan, o.channel);
    attrs.push_back({"buffer_chan", {chan}});
    for (auto &a : o.attrs)
        attrs.push_back(a);
    t_object *sg = box(patcher, "spectrogram~", "", "spectrogram", {0, 0, (double)o.width, (double)o.height}, attrs);
    t_object *bar = nullptr;
    if (!o.colorbar.empty()) {
        bar = box(patcher, "gradix", "", "colorbar", {0, 0, 60, (double)o.height});
        maxhost::connect(patcher, bar, 0, sg, 0);
        maxhost::send(bar, 0, gensym("bang"), 0, nullptr);
    }
    // The files are written before the event queue runs: nobody looks at
    // the boxes on a screen, so their scheduled repaints would be wasted.
    int before = failures;
    if (o.full)
        write(sg, o.out, 0, 0, 72);
    else
        write(sg, o.out, o.width, o.height, 72);
    if (bar)
        write(bar, o.colorbar, 60, o.height, 72);
    int status = failures > before ? 1 : 0;
    maxhost::patcher_free(patcher);
    maxhost::pump();
    maxhost::set_console_sink(nullptr);
    return status;
}

} // namespace patchhost
