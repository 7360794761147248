// patchhost render's command line: the options, the @attributes checked
// against the spectrogram~ class as it registered them, the notes on
// clamped values, and the --help text built from the same registration.
// A mistake is named, with the nearest valid word when one is close.
#include "patchhost.h"
#include "render.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace patchhost::render {

namespace {

const std::vector<std::string> k_options = {"-o",      "--output", "--size", "--full", "--plain", "--channel",
                                            "--colorbar", "-j",    "--jobs", "--quiet", "--help"};

// Attributes render sets itself, and the option that stands for them.
const std::vector<std::pair<std::string, std::string>> k_reserved = {{"buffer_name", "the input file"},
                                                                     {"buffer_chan", "--channel"},
                                                                     {"patching_rect", "--size"}};

bool ends_with_png(const std::string &s)
{
    if (s.size() < 4)
        return false;
    std::string tail = s.substr(s.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(), ::tolower);
    return tail == ".png";
}

bool is_number(const std::string &s)
{
    char *end = nullptr;
    strtod(s.c_str(), &end);
    return !s.empty() && end && !*end;
}

bool parse_long(const std::string &s, long *v)
{
    char *end = nullptr;
    long r = strtol(s.c_str(), &end, 10);
    if (s.empty() || !end || *end)
        return false;
    *v = r;
    return true;
}

bool parse_size(const std::string &s, long *w, long *h)
{
    size_t x = s.find_first_of("xX");
    long a = 0, b = 0;
    if (x == std::string::npos || !parse_long(s.substr(0, x), &a) || !parse_long(s.substr(x + 1), &b))
        return false;
    if (a < 1 || b < 1 || a > 32767 || b > 32767)
        return false;
    *w = a;
    *h = b;
    return true;
}

std::string suggestion(const std::string &word, const std::vector<std::string> &words, const std::string &prefix)
{
    std::string n = nearest(word, words);
    return n.empty() ? "" : " (did you mean " + prefix + n + "?)";
}

// One option with its value; false and *err on a fault.
bool parse_option(const std::string &a, const std::string *value, Options *o, bool *used_value, std::string *err)
{
    auto need = [&](const char *what) {
        if (!value)
            *err = "option " + a + " needs a value (" + what + ")";
        *used_value = value != nullptr;
        return value != nullptr;
    };
    if (a == "--full")
        o->full = true;
    else if (a == "--plain")
        o->plain = true;
    else if (a == "--quiet")
        o->quiet = true;
    else if (a == "-o" || a == "--output") {
        if (!need("a .png file or a folder"))
            return false;
        o->out = *value;
    } else if (a == "--colorbar") {
        if (!need("a .png file"))
            return false;
        o->colorbar = *value;
    } else if (a == "--size") {
        if (!need("WxH"))
            return false;
        if (!parse_size(*value, &o->width, &o->height)) {
            *err = "bad --size " + *value + ": expected WxH, each 1 to 32767 (e.g. 1200x400)";
            return false;
        }
    } else if (a == "--channel") {
        if (!need("a number or all"))
            return false;
        if (*value == "all") {
            o->all_channels = true;
        } else if (!parse_long(*value, &o->channel) || o->channel < 0) {
            *err = "bad --channel " + *value + ": expected 1, 2, ... (0 for the mean of all channels) or all";
            return false;
        }
    } else if (a == "-j" || a == "--jobs") {
        if (!need("a number of processes"))
            return false;
        if (!parse_long(*value, &o->jobs) || o->jobs < 1) {
            *err = "bad " + a + " " + *value + ": expected a number of processes, 1 or more";
            return false;
        }
    } else {
        std::string near = suggestion(a, k_options, "");
        *err = "unknown option " + a + (near.empty() ? " (the options are -o, --size, --plain, --full, --channel, "
                                                       "--colorbar, -j, --quiet, --help)"
                                                     : near);
        return false;
    }
    return true;
}

bool check_outputs(const Options &o, std::string *err)
{
    if (o.inputs.empty()) {
        *err = "no input: give one or more sound files or folders";
        return false;
    }
    if (o.out.empty()) {
        *err = "no output: give -o OUT.png, or -o DIR/ for one PNG per input";
        return false;
    }
    bool folder_out = o.out.back() == '/' || is_folder(o.out);
    bool many = o.inputs.size() > 1 || is_folder(o.inputs[0]);
    if (!folder_out && many) {
        *err = "several inputs need an output folder: -o DIR/";
        return false;
    }
    if (!folder_out && !ends_with_png(o.out)) {
        *err = "the output " + o.out + " is not a .png file";
        return false;
    }
    if (!o.colorbar.empty() && (many || !ends_with_png(o.colorbar))) {
        *err = many ? "--colorbar needs a single input" : "the colour bar " + o.colorbar + " is not a .png file";
        return false;
    }
    if (o.full && o.all_channels) {
        *err = "--full writes one channel: give --channel N";
        return false;
    }
    return true;
}

std::string atom_text(const t_atom &a)
{
    char s[64];
    if (atom_gettype(&a) == A_LONG)
        snprintf(s, sizeof s, "%ld", (long)atom_getlong(&a));
    else if (atom_gettype(&a) == A_FLOAT)
        snprintf(s, sizeof s, "%g", atom_getfloat(&a));
    else
        return atom_getsym(&a)->s_name;
    return s;
}

std::string atoms_text(const maxhost::Atoms &v)
{
    std::string s;
    for (const t_atom &a : v)
        s += (s.empty() ? "" : " ") + atom_text(a);
    return s;
}

bool numeric_type(const std::string &type)
{
    return type == "long" || type == "char" || type == "float32" || type == "float64" || type == "int32" ||
           type == "atom_long";
}

// Checks one attribute's values; enumeration names become indices.
bool check_values(const maxhost::AttrInfo &info, maxhost::Atoms *values, std::string *err)
{
    const std::string name = "@" + info.name;
    if (values->empty()) {
        *err = name + " needs a value";
        return false;
    }
    if (!numeric_type(info.type))
        return true;
    if ((long)values->size() != info.size) {
        *err = name + " takes " + std::to_string(info.size) + (info.size == 1 ? " value" : " values") + ", not " +
               std::to_string(values->size()) + ": " + atoms_text(*values);
        return false;
    }
    for (t_atom &a : *values) {
        if (atom_gettype(&a) != A_SYM)
            continue;
        std::string word = atom_getsym(&a)->s_name;
        for (size_t i = 0; i < info.enumvals.size(); i++)
            if (strcasecmp(word.c_str(), info.enumvals[i].c_str()) == 0)
                atom_setlong(&a, (long)i);
        if (atom_gettype(&a) == A_SYM) {
            *err = name + ": " + word + " is not a number";
            if (!info.enumvals.empty()) {
                std::string n = nearest(word, info.enumvals);
                *err += " nor one of its values" + (n.empty() ? std::string() : " (did you mean " + n + "?)");
            }
            return false;
        }
    }
    return true;
}

std::string range_text(const maxhost::AttrInfo &a)
{
    auto num = [](double v) {
        char s[32];
        snprintf(s, sizeof s, "%g", v);
        return std::string(s);
    };
    if (!a.enumvals.empty()) {
        std::string s;
        // '\1' holds an item together when the help text is wrapped.
        for (size_t i = 0; i < a.enumvals.size(); i++) {
            std::string item = std::to_string(i) + " " + a.enumvals[i];
            std::replace(item.begin(), item.end(), ' ', '\1');
            s += (i ? ", " : "") + item;
        }
        return s;
    }
    if (a.style == "onoff")
        return "0 or 1";
    if (a.style == "rgba")
        return "red green blue alpha, each 0..1";
    if (a.has_min && a.has_max)
        return num(a.min) + ".." + num(a.max);
    if (a.has_min)
        return num(a.min) + " or more";
    return numeric_type(a.type) ? "any number" : "a word";
}

} // namespace

bool is_folder(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string nearest(const std::string &word, const std::vector<std::string> &words)
{
    // Edit distance with adjacent transpositions ("Lgo" is one step from "Log").
    auto distance = [](const std::string &a, const std::string &b) {
        std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
        for (size_t i = 0; i <= a.size(); i++)
            d[i][0] = i;
        for (size_t j = 0; j <= b.size(); j++)
            d[0][j] = j;
        for (size_t i = 1; i <= a.size(); i++)
            for (size_t j = 1; j <= b.size(); j++) {
                size_t cost = tolower(a[i - 1]) == tolower(b[j - 1]) ? 0 : 1;
                d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
                if (i > 1 && j > 1 && tolower(a[i - 1]) == tolower(b[j - 2]) && tolower(a[i - 2]) == tolower(b[j - 1]))
                    d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        return d[a.size()][b.size()];
    };
    std::string best;
    size_t best_d = std::string::npos;
    for (const std::string &w : words) {
        size_t dist = distance(word, w);
        if (dist < best_d) {
            best_d = dist;
            best = w;
        }
    }
    return best_d <= std::max<size_t>(2, word.size() / 3) ? best : "";
}

bool parse_options(int argc, char **argv, Options *o, bool *help, std::string *err)
{
    *help = false;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            *help = true;
            return true;
        }
        if (a.size() > 2 && a.rfind("-j", 0) == 0 && isdigit((unsigned char)a[2])) {
            std::string v = a.substr(2);
            bool used = false;
            if (!parse_option("-j", &v, o, &used, err))
                return false;
        } else if (a[0] == '@') {
            if (a.size() < 2) {
                *err = "a lone @: write @name value";
                return false;
            }
            maxhost::Atoms values;
            while (i + 1 < argc && argv[i + 1][0] != '@' && (argv[i + 1][0] != '-' || is_number(argv[i + 1])))
                values.push_back(word_atom({argv[++i], false}));
            o->attrs.emplace_back(a.substr(1), values);
        } else if (a.size() > 1 && a[0] == '-') {
            std::string value = i + 1 < argc ? argv[i + 1] : "";
            bool used = false;
            if (!parse_option(a, i + 1 < argc ? &value : nullptr, o, &used, err))
                return false;
            i += used ? 1 : 0;
        } else {
            o->inputs.push_back(a);
        }
    }
    return check_outputs(*o, err);
}

bool check_attributes(t_object *spectrogram, AttrList *attrs, std::string *err)
{
    std::vector<maxhost::AttrInfo> infos = maxhost::attributes_of(spectrogram);
    std::vector<std::string> names;
    for (const auto &i : infos)
        names.push_back(i.name);
    for (auto &[name, values] : *attrs) {
        for (const auto &[reserved, instead] : k_reserved)
            if (name == reserved) {
                *err = "@" + name + " is set by render: use " + instead;
                return false;
            }
        auto info = std::find_if(infos.begin(), infos.end(), [&](const auto &i) { return i.name == name; });
        if (info == infos.end()) {
            *err = "unknown attribute @" + name + suggestion(name, names, "@");
            return false;
        }
        if (!check_values(*info, &values, err))
            return false;
    }
    return true;
}

std::vector<std::string> clamp_notes(t_object *spectrogram, const AttrList &attrs)
{
    std::vector<std::string> notes;
    for (const auto &[name, given] : attrs) {
        maxhost::Atoms now;
        if (!maxhost::attr_get(spectrogram, name, &now) || now.size() != given.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < given.size(); i++) {
            if (atom_gettype(&given[i]) == A_SYM || atom_gettype(&now[i]) == A_SYM)
                same = same && atom_text(given[i]) == atom_text(now[i]);
            else
                same = same && std::fabs(atom_getfloat(&given[i]) - atom_getfloat(&now[i])) <= 1e-6;
        }
        if (!same)
            notes.push_back("@" + name + " " + atoms_text(given) + " is out of range: clamped to " + atoms_text(now));
    }
    return notes;
}

std::string help_text(t_object *spectrogram)
{
    std::ostringstream s;
    s << "usage: patchhost render IN... -o OUT.png|DIR/ [options] [@attribute value...]\n"
         "\n"
         "Renders the spectrogram of each sound file (wav, aif, flac, ogg; a folder\n"
         "stands for the sound files in it) through a spectrogram~ and a gradix.\n"
         "\n"
         "options:\n"
         "  -o, --output OUT     a .png file (one input), or a folder (ends in / or\n"
         "                       exists): one NAME.png per input\n"
         "  --size WxH           image size in pixels, 1..32767 each (default 1200x400;\n"
         "                       with --channel all, H is the height of one panel)\n"
         "  --plain              the box image with the object's own labels, no axes\n"
         "  --full               one pixel per analysis cell (the object's export)\n"
         "  --channel N|all      channel 1, 2, ... (default 1), 0 = the mean of all,\n"
         "                       all = one panel per channel\n"
         "  --colorbar BAR.png   also write gradix's colour bar (one input only)\n"
         "  -j, --jobs N         files rendered at once (default: the processors)\n"
         "  --quiet              no progress line\n"
         "  -h, --help           this text\n"
         "\n"
         "Unless @win_size, @win_overlap or @win_zero_pad is given, the figure's\n"
         "analysis is chosen to give at least one frame per pixel column.\n"
         "\n"
         "exit status: 0 every image written; 1 an image could not be analysed or\n"
         "written; 2 a wrong command line or an unreadable input.\n"
         "\n"
         "spectrogram~ attributes (@name value...; enumerations take a name or a\n"
         "number; range and default as the class registers them):\n";
    for (const maxhost::AttrInfo &a : maxhost::attributes_of(spectrogram)) {
        std::string def = atoms_text(a.default_value);
        std::string text = range_text(a) + "; default " + (def.empty() ? "\"\"" : def);
        for (const auto &[reserved, instead] : k_reserved)
            if (a.name == reserved)
                text += " (set by render: " + instead + ")";
        // Wrapped at 79 columns under the description column.
        std::string line = "  @" + a.name;
        line.resize(std::max<size_t>(line.size() + 1, 24), ' ');
        std::istringstream words(text);
        std::string word;
        bool first = true;
        while (words >> word) {
            if (!first && line.size() + 1 + word.size() > 79) {
                s << line << "\n";
                line = std::string(24, ' ');
                first = true;
            }
            line += (first ? "" : " ") + word;
            first = false;
        }
        s << line << "\n";
    }
    std::string text = s.str();
    std::replace(text.begin(), text.end(), '\1', ' ');
    return text;
}

} // namespace patchhost::render
