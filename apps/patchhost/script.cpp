// The script interpreter: one command per line, acting on the loaded patch
// the way a user and an inspector would (messages, attributes, mouse,
// answers to menus and dialogs) and writing query results to the
// transcript.  A mistake in the script itself (an unknown command, a missing
// box, a malformed argument) ends the run with status 3; a command that the
// patch cannot carry out (an unknown attribute, a box that cannot paint) is
// reported on the console and the script goes on.
#include "patchhost.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace patchhost {

namespace {

using Args = std::vector<Word>; // the words after the command name

bool is_integer(const std::string &s)
{
    size_t i = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
    if (i >= s.size())
        return false;
    for (; i < s.size(); i++)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

bool is_float(const std::string &s)
{
    if (s.empty() || s.find_first_not_of("0123456789+-.eE") != std::string::npos ||
        s.find_first_of(".eE") == std::string::npos)
        return false;
    char *end = nullptr;
    strtod(s.c_str(), &end);
    return end && *end == 0 && end != s.c_str();
}

bool is_number(const Word &w) { return !w.quoted && (is_integer(w.text) || is_float(w.text)); }

std::string join(const Args &a, size_t from)
{
    std::string s;
    for (size_t i = from; i < a.size(); i++)
        s += (i > from ? " " : "") + a[i].text;
    return s;
}

void need_args(const Args &a, size_t min, size_t max, const char *usage)
{
    if (a.size() < min || a.size() > max)
        throw ScriptError(std::string("usage: ") + usage);
}

t_object *need_box(Runner &r, const Word &w)
{
    t_object *box = maxhost::find_box(r.patcher, w.text);
    if (!box)
        throw ScriptError("no box \"" + w.text + "\"");
    return box;
}

double need_number(const Word &w, const char *what)
{
    if (!is_number(w))
        throw ScriptError(std::string(what) + " must be a number, not \"" + w.text + "\"");
    return strtod(w.text.c_str(), nullptr);
}

long need_long(const Word &w, const char *what)
{
    if (w.quoted || !is_integer(w.text))
        throw ScriptError(std::string(what) + " must be an integer, not \"" + w.text + "\"");
    return strtol(w.text.c_str(), nullptr, 10);
}

// The object in a box; a placeholder box holds none.
t_object *box_object(Runner &r, const Word &w)
{
    t_object *x = jbox_get_object(need_box(r, w));
    if (!x)
        object_error(nullptr, "patchhost: box \"%s\" holds no object", w.text.c_str());
    return x;
}

std::string absolute_path(const std::string &p)
{
    std::error_code ec;
    std::filesystem::path abs = std::filesystem::absolute(p, ec);
    return ec ? p : abs.lexically_normal().string();
}

// MESSAGE [ARG...] from words[from]: a number leads an int, a float or a list.
void send_message(t_object *box, long inlet, const Args &a, size_t from)
{
    maxhost::Atoms atoms;
    for (size_t i = from + 1; i < a.size(); i++)
        atoms.push_back(word_atom(a[i]));
    const Word &first = a[from];
    t_symbol *sel;
    if (is_number(first)) {
        t_atom n = word_atom(first);
        atoms.insert(atoms.begin(), n);
        sel = atoms.size() > 1 ? gensym("list") : gensym(n.a_type == A_LONG ? "int" : "float");
    } else {
        sel = gensym(first.text.c_str());
    }
    maxhost::send(box, inlet, sel, (long)atoms.size(), atoms.data());
}

void cmd_send(Runner &r, const Args &a)
{
    need_args(a, 2, SIZE_MAX, "send BOX MESSAGE [ARG...]");
    send_message(need_box(r, a[0]), 0, a, 1);
}

void cmd_sendto(Runner &r, const Args &a)
{
    need_args(a, 3, SIZE_MAX, "sendto BOX INLET MESSAGE [ARG...]");
    t_object *box = need_box(r, a[0]);
    long inlet = need_long(a[1], "INLET");
    // A placeholder has no inlets to check; like send, it takes the message silently.
    if (inlet < 0 || (jbox_get_object(box) && inlet >= maxhost::box_inlet_count(box)))
        throw ScriptError("box \"" + a[0].text + "\" has no inlet " + a[1].text);
    send_message(box, inlet, a, 2);
}

void cmd_attr(Runner &r, const Args &a)
{
    need_args(a, 2, SIZE_MAX, "attr BOX NAME [VALUE...]");
    t_object *x = box_object(r, a[0]);
    if (!x)
        return;
    maxhost::Atoms v;
    for (size_t i = 2; i < a.size(); i++)
        v.push_back(word_atom(a[i]));
    if (object_attr_setvalueof(x, gensym(a[1].text.c_str()), (long)v.size(), v.data()) != MAX_ERR_NONE)
        object_error(nullptr, "patchhost: box \"%s\" has no settable attribute \"%s\"", a[0].text.c_str(),
              a[1].text.c_str());
}

void cmd_getattr(Runner &r, const Args &a)
{
    need_args(a, 2, 2, "getattr BOX NAME");
    t_object *box = need_box(r, a[0]);
    t_object *x = jbox_get_object(box);
    maxhost::Atoms v;
    Json value = nullptr;
    if (x && maxhost::attr_get(x, a[1].text, &v))
        value = atoms_json((long)v.size(), v.data());
    transcript_write(*r.transcript, {{"t", "attr"}, {"box", box_ref(box)}, {"name", a[1].text}, {"value", value}});
}

long modifiers(const Args &a, size_t from)
{
    long m = 0;
    for (size_t i = from; i < a.size(); i++) {
        const std::string &w = a[i].text;
        if (w == "shift")
            m |= eShiftKey;
        else if (w == "context")
            m |= ePopupMenu;
        else if (w == "cmd")
            m |= eCommandKey;
        else if (w == "ctrl")
            m |= eControlKey;
        else if (w == "alt")
            m |= eAltKey;
        else
            throw ScriptError("unknown modifier \"" + w + "\" (shift, context, cmd, ctrl, alt)");
    }
    return m;
}

void mouse_at(Runner &r, const Args &a, maxhost::Mouse kind, const char *usage)
{
    need_args(a, 3, SIZE_MAX, usage);
    t_object *box = need_box(r, a[0]);
    double x = need_number(a[1], "X"), y = need_number(a[2], "Y");
    maxhost::mouse(box, kind, x, y, modifiers(a, 3));
}

void cmd_mousedown(Runner &r, const Args &a)
{
    mouse_at(r, a, maxhost::Mouse::down, "mousedown BOX X Y [shift] [context]");
}

void cmd_mousedrag(Runner &r, const Args &a) { mouse_at(r, a, maxhost::Mouse::drag, "mousedrag BOX X Y [shift]"); }
void cmd_mouseup(Runner &r, const Args &a) { mouse_at(r, a, maxhost::Mouse::up, "mouseup BOX X Y"); }
void cmd_mousemove(Runner &r, const Args &a) { mouse_at(r, a, maxhost::Mouse::move, "mousemove BOX X Y"); }
void cmd_mousedoubleclick(Runner &r, const Args &a)
{
    mouse_at(r, a, maxhost::Mouse::doubleclick, "mousedoubleclick BOX X Y");
}

void cmd_mousewheel(Runner &r, const Args &a)
{
    need_args(a, 5, SIZE_MAX, "mousewheel BOX X Y DX DY [shift] [cmd] [ctrl] [alt]");
    t_object *box = need_box(r, a[0]);
    maxhost::mouse_wheel(box, need_number(a[1], "X"), need_number(a[2], "Y"), need_number(a[3], "DX"),
                         need_number(a[4], "DY"), modifiers(a, 5));
}

void cmd_mouseenter(Runner &r, const Args &a)
{
    need_args(a, 1, 1, "mouseenter BOX");
    maxhost::mouse(need_box(r, a[0]), maxhost::Mouse::enter, 0, 0, 0);
}

void cmd_mouseleave(Runner &r, const Args &a)
{
    need_args(a, 1, 1, "mouseleave BOX");
    maxhost::mouse(need_box(r, a[0]), maxhost::Mouse::leave, 0, 0, 0);
}

void cmd_menu(Runner &r, const Args &a)
{
    (void)r;
    need_args(a, 1, SIZE_MAX, "menu ITEM-ID|\"ITEM TEXT\"|none");
    maxhost::ScriptedDriver &d = maxhost::scripted_driver();
    if (a.size() == 1 && !a[0].quoted && a[0].text == "none") {
        d.queue_menu_none();
    } else if (a.size() == 1 && !a[0].quoted && is_integer(a[0].text)) {
        long id = need_long(a[0], "ITEM");
        if (id < 0)
            throw ScriptError("a menu item id is 1 or more (0 or none: no choice)");
        d.queue_menu((int)id);
    } else {
        d.queue_menu_text(join(a, 0));
    }
}

void cmd_dialog(Runner &r, const Args &a)
{
    (void)r;
    need_args(a, 1, SIZE_MAX, "dialog \"TEXT\"|cancel");
    if (a.size() == 1 && !a[0].quoted && a[0].text == "cancel")
        maxhost::scripted_driver().queue_dialog_cancel();
    else
        maxhost::scripted_driver().queue_dialog(join(a, 0));
}

void cmd_savefile(Runner &r, const Args &a)
{
    (void)r;
    need_args(a, 1, 1, "savefile PATH|cancel");
    if (!a[0].quoted && a[0].text == "cancel")
        maxhost::scripted_driver().queue_save_cancel();
    else
        maxhost::scripted_driver().queue_save(absolute_path(a[0].text));
}

void cmd_resize(Runner &r, const Args &a)
{
    need_args(a, 3, 3, "resize BOX W H");
    t_object *box = need_box(r, a[0]);
    maxhost::box_set_size(box, need_number(a[1], "W"), need_number(a[2], "H"));
}

void cmd_snapshot(Runner &r, const Args &a)
{
    need_args(a, 2, 2, "snapshot BOX FILE");
    t_object *box = need_box(r, a[0]);
    maxhost::Image img;
    if (!maxhost::paint_box(box, &img)) {
        object_error(nullptr, "patchhost: box \"%s\" cannot paint", a[0].text.c_str());
        return;
    }
    std::string path = absolute_path(a[1].text);
    if (!maxhost::write_png(img, path))
        object_error(nullptr, "patchhost: cannot write %s", path.c_str());
}

void cmd_buffer(Runner &r, const Args &a)
{
    need_args(a, 1, 1, "buffer NAME");
    Json line;
    std::string err;
    if (!buffer_report(r.patcher, a[0].text, &line, &err))
        throw ScriptError(err);
    transcript_write(*r.transcript, line);
}

void cmd_echo(Runner &r, const Args &a)
{
    transcript_write(*r.transcript, {{"t", "echo"}, {"text", join(a, 0)}});
}

void cmd_idle(Runner &r, const Args &a)
{
    (void)r;
    need_args(a, 0, 0, "idle");
    maxhost::pump();
}

struct Command {
    const char *name;
    void (*run)(Runner &, const Args &);
};

const Command commands[] = {
    {"send", cmd_send}, {"sendto", cmd_sendto}, {"attr", cmd_attr},
    {"getattr", cmd_getattr}, {"mousedown", cmd_mousedown}, {"mousedrag", cmd_mousedrag},
    {"mouseup", cmd_mouseup}, {"mousemove", cmd_mousemove}, {"mouseenter", cmd_mouseenter},
    {"mouseleave", cmd_mouseleave}, {"mousedoubleclick", cmd_mousedoubleclick}, {"menu", cmd_menu},
    {"dialog", cmd_dialog}, {"savefile", cmd_savefile}, {"resize", cmd_resize},
    {"mousewheel", cmd_mousewheel}, {"snapshot", cmd_snapshot}, {"buffer", cmd_buffer},
    {"echo", cmd_echo}, {"idle", cmd_idle},
};

} // namespace

std::vector<Word> script_split(const std::string &line)
{
    std::vector<Word> words;
    size_t i = 0, n = line.size();
    while (i < n) {
        while (i < n && isspace((unsigned char)line[i]))
            i++;
        if (i >= n || line[i] == '#')
            break;
        Word w;
        if (line[i] == '"') {
            w.quoted = true;
            for (i++; i < n && line[i] != '"'; i++) {
                if (line[i] == '\\' && i + 1 < n && (line[i + 1] == '"' || line[i + 1] == '\\'))
                    i++;
                w.text += line[i];
            }
            if (i >= n)
                throw ScriptError("unterminated quote");
            i++;
        } else {
            while (i < n && !isspace((unsigned char)line[i]))
                w.text += line[i++];
        }
        words.push_back(w);
    }
    return words;
}

t_atom word_atom(const Word &w)
{
    t_atom a;
    if (!w.quoted && is_integer(w.text)) {
        errno = 0;
        long long v = strtoll(w.text.c_str(), nullptr, 10);
        if (errno != ERANGE) {
            atom_setlong(&a, (t_atom_long)v);
            return a;
        }
        atom_setfloat(&a, strtod(w.text.c_str(), nullptr));
    } else if (!w.quoted && is_float(w.text)) {
        atom_setfloat(&a, strtod(w.text.c_str(), nullptr));
    } else {
        atom_setsym(&a, gensym(w.text.c_str()));
    }
    return a;
}

void script_command(Runner &r, const std::vector<Word> &words)
{
    const std::string &name = words[0].text;
    Args args(words.begin() + 1, words.end());
    for (const Command &c : commands) {
        if (!words[0].quoted && name == c.name) {
            c.run(r, args);
            return;
        }
    }
    throw ScriptError("unknown command \"" + name + "\"");
}

namespace {

// The longest script line read: a line is one command, so this bounds what
// an endless line (a script read from /dev/zero, say) can take.
constexpr size_t script_max_line = (size_t)1 << 20;

enum class line_read { line, end, too_long };

// Reads one line (without its newline) of at most script_max_line bytes.
line_read read_line(std::istream &in, std::string *line)
{
    line->clear();
    std::streambuf *sb = in.rdbuf();
    for (;;) {
        const int c = sb->sbumpc();
        if (c == std::char_traits<char>::eof())
            return line->empty() ? line_read::end : line_read::line;
        if (c == '\n')
            return line_read::line;
        if (line->size() >= script_max_line)
            return line_read::too_long;
        line->push_back((char)c);
    }
}

} // namespace

int script_run(Runner &r, std::istream &in, const std::string &name)
{
    std::string line;
    long number = 0;
    for (line_read got; (got = read_line(in, &line)) != line_read::end;) {
        number++;
        if (got == line_read::too_long) {
            fprintf(stderr, "patchhost: %s:%ld: the line is longer than %zu MB\n", name.c_str(), number,
                    script_max_line >> 20);
            return 3;
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        try {
            std::vector<Word> words = script_split(line);
            if (words.empty())
                continue;
            script_command(r, words);
        } catch (const ScriptError &e) {
            fprintf(stderr, "patchhost: %s:%ld: %s\n", name.c_str(), number, e.what());
            return 3;
        }
        maxhost::pump();
    }
    return 0;
}

} // namespace patchhost
