// The host's own standard classes: `message`, `print` and `loadbang` (and
// `comment`, in stdcomment.cpp).
//
// They are registered in the box name space through the same SDK calls a
// plug-in makes, the first time a box class is looked up
// (maxhost::find_box_class calls mh_register_std_classes), so a patch can
// use them without any plug-in file.
//
// `message` is a small UI box holding one or more messages (its text split
// at commas).  A bang or a click sends them out in order; any other number,
// list or message sends them with $1..$9 replaced by the incoming values;
// `set ...` replaces the contents without output.  `print` posts every
// message to the console prefixed by its argument ("print" by default).
// `loadbang` sends a bang when the patch has loaded, or when banged.
#include "internal.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

void mh_register_std_classes();
void mh_comment_register(); // stdcomment.cpp

namespace {

t_symbol *sym(const char *s) { return gensym(s); }

// ---------------------------------------------------------------- message

struct mh_message {
    t_jbox box;                           // first
    void *out;                            // outlet 0: the contents
    std::vector<maxhost::Atoms> *content; // owned; one entry per comma-separated message
};

t_class *s_message_class = nullptr;

// Splits message-box text at commas outside double quotes and parses each
// part into atoms as an object box's text is parsed.
std::vector<maxhost::Atoms> message_parse(const std::string &text)
{
    std::vector<maxhost::Atoms> out;
    std::string part;
    bool quoted = false;
    for (size_t i = 0; i <= text.size(); i++) {
        char c = i < text.size() ? text[i] : ',';
        if (c == '"' && (i == 0 || text[i - 1] != '\\'))
            quoted = !quoted;
        if (c == ',' && (!quoted || i == text.size())) {
            maxhost::Atoms atoms = mh_parse_atoms(part);
            if (!atoms.empty())
                out.push_back(atoms);
            part.clear();
        } else {
            part += c;
        }
    }
    return out;
}

// Replaces the symbols $1..$9 by the incoming values (0 when missing).
maxhost::Atoms message_substitute(const maxhost::Atoms &m, const maxhost::Atoms &args)
{
    maxhost::Atoms out = m;
    for (t_atom &a : out) {
        if (a.a_type != A_SYM || !a.a_w.w_sym)
            continue;
        const char *s = a.a_w.w_sym->s_name;
        if (s[0] != '$' || s[1] < '1' || s[1] > '9' || s[2] != 0)
            continue;
        size_t n = (size_t)(s[1] - '1');
        if (n < args.size())
            a = args[n];
        else
            atom_setlong(&a, 0);
    }
    return out;
}

// Sends one message of the contents: a number alone as int or float,
// several atoms led by a number as a list, else a selector with arguments.
void message_send_one(mh_message *x, maxhost::Atoms m)
{
    if (m.empty())
        return;
    short n = (short)m.size();
    if (m[0].a_type == A_LONG || m[0].a_type == A_FLOAT) {
        if (n == 1)
            outlet_anything(x->out, sym(m[0].a_type == A_LONG ? "int" : "float"), 1, m.data());
        else
            outlet_list(x->out, nullptr, n, m.data());
        return;
    }
    t_symbol *s = atom_getsym(&m[0]);
    if (s == sym("list"))
        outlet_list(x->out, nullptr, (short)(n - 1), m.data() + 1);
    else
        outlet_anything(x->out, s, (short)(n - 1), n > 1 ? m.data() + 1 : nullptr);
}

void message_output(mh_message *x, const maxhost::Atoms &args)
{
    // A receiver may send this box "set" while it is sending: send a copy.
    std::vector<maxhost::Atoms> content = *x->content;
    for (const maxhost::Atoms &m : content)
        message_send_one(x, message_substitute(m, args));
}

void message_bang(mh_message *x) { message_output(x, {}); }

void message_int(mh_message *x, long n)
{
    t_atom a;
    atom_setlong(&a, n);
    message_output(x, {a});
}

void message_float(mh_message *x, double f)
{
    t_atom a;
    atom_setfloat(&a, f);
    message_output(x, {a});
}

void message_list(mh_message *x, t_symbol *s, long argc, t_atom *argv)
{
    (void)s;
    message_output(x, maxhost::Atoms(argv, argv + argc));
}

void message_anything(mh_message *x, t_symbol *s, long argc, t_atom *argv)
{
    maxhost::Atoms args(1);
    atom_setsym(&args[0], s);
    args.insert(args.end(), argv, argv + argc);
    message_output(x, args);
}

void message_set(mh_message *x, t_symbol *s, long argc, t_atom *argv)
{
    (void)s;
    x->content->clear();
    if (argc > 0)
        x->content->push_back(maxhost::Atoms(argv, argv + argc));
    jbox_redraw(&x->box);
}

void message_mousedown(mh_message *x, t_object *view, t_pt pt, long modifiers)
{
    (void)view;
    (void)pt;
    (void)modifiers;
    message_output(x, {});
}

std::string message_text(mh_message *x)
{
    std::string text;
    for (const maxhost::Atoms &m : *x->content) {
        if (!text.empty())
            text += ", ";
        for (size_t i = 0; i < m.size(); i++)
            text += (i ? " " : "") + mh_atom_to_string(m[i]);
    }
    return text;
}

void message_paint(mh_message *x, t_object *view)
{
    t_rect r;
    t_jgraphics *g = (t_jgraphics *)patcherview_get_jgraphics(view);
    jbox_get_rect_for_view((t_object *)x, view, &r);
    jgraphics_set_source_rgba(g, 0.86, 0.86, 0.86, 1.);
    jgraphics_rectangle(g, 0, 0, r.width, r.height);
    jgraphics_fill(g);
    jgraphics_set_source_rgba(g, 0.4, 0.4, 0.4, 1.);
    jgraphics_set_line_width(g, 1.);
    jgraphics_rectangle(g, 0.5, 0.5, r.width - 1., r.height - 1.);
    jgraphics_stroke(g);
    jgraphics_set_source_rgba(g, 0., 0., 0., 1.);
    jgraphics_select_font_face(g, "Arial", JGRAPHICS_FONT_SLANT_NORMAL, JGRAPHICS_FONT_WEIGHT_NORMAL);
    jgraphics_set_font_size(g, 12.);
    jgraphics_move_to(g, 5., r.height / 2. + 4.);
    jgraphics_show_text(g, message_text(x).c_str());
}

void *message_new(t_symbol *s, long argc, t_atom *argv)
{
    (void)s;
    t_dictionary *d = object_dictionaryarg(argc, argv);
    if (!d)
        return nullptr;
    mh_message *x = (mh_message *)object_alloc(s_message_class);
    if (!x)
        return nullptr;
    jbox_new(&x->box, JBOX_GROWBOTH, argc, argv);
    x->box.b_firstin = (t_object *)x;
    x->out = outlet_new(x, nullptr);
    x->content = new std::vector<maxhost::Atoms>();
    // The text arrives as one symbol holding the box's whole text.
    maxhost::Atoms text;
    if (mh_dict_get(d, sym("text"), &text) && !text.empty()) {
        if (text.size() == 1 && text[0].a_type == A_SYM)
            *x->content = message_parse(atom_getsym(&text[0])->s_name);
        else
            x->content->push_back(text);
    }
    attr_dictionary_process(x, d);
    jbox_ready(&x->box);
    return x;
}

void message_free(mh_message *x)
{
    jbox_free(&x->box);
    delete x->content;
}

void message_register()
{
    t_class *c = class_new("message", (method)message_new, (method)message_free, sizeof(mh_message), nullptr,
                           A_GIMME, 0);
    c->c_flags |= CLASS_FLAG_NEWDICTIONARY;
    jbox_initclass(c, JBOX_GROWBOTH);
    class_addmethod(c, (method)message_paint, "paint", A_CANT, 0);
    class_addmethod(c, (method)message_mousedown, "mousedown", A_CANT, 0);
    class_addmethod(c, (method)message_bang, "bang", 0);
    class_addmethod(c, (method)message_int, "int", A_LONG, 0);
    class_addmethod(c, (method)message_float, "float", A_FLOAT, 0);
    class_addmethod(c, (method)message_list, "list", A_GIMME, 0);
    class_addmethod(c, (method)message_set, "set", A_GIMME, 0);
    class_addmethod(c, (method)message_anything, "anything", A_GIMME, 0);
    CLASS_ATTR_DEFAULT(c, "patching_rect", 0, "0. 0. 50. 22.");
    class_register(CLASS_BOX, c);
    s_message_class = c;
}

// ---------------------------------------------------------------- print

struct mh_print {
    t_object ob; // first
    t_symbol *prefix;
};

t_class *s_print_class = nullptr;

// An atom as the console shows it: floats always with a decimal point.
std::string print_atom(const t_atom &a)
{
    std::string s = mh_atom_to_string(a);
    if (a.a_type == A_FLOAT && s.find_first_of(".en") == std::string::npos)
        s += ".";
    return s;
}

void print_post(mh_print *x, t_symbol *s, long argc, const t_atom *argv)
{
    std::string text;
    if (s)
        text = s->s_name;
    for (long i = 0; i < argc; i++)
        text += (text.empty() ? "" : " ") + print_atom(argv[i]);
    object_post(&x->ob, "%s: %s", x->prefix->s_name, text.c_str());
}

void print_bang(mh_print *x) { print_post(x, sym("bang"), 0, nullptr); }

void print_int(mh_print *x, long n)
{
    t_atom a;
    atom_setlong(&a, n);
    print_post(x, nullptr, 1, &a);
}

void print_float(mh_print *x, double f)
{
    t_atom a;
    atom_setfloat(&a, f);
    print_post(x, nullptr, 1, &a);
}

void print_list(mh_print *x, t_symbol *s, long argc, t_atom *argv)
{
    (void)s;
    print_post(x, nullptr, argc, argv);
}

void print_anything(mh_print *x, t_symbol *s, long argc, t_atom *argv) { print_post(x, s, argc, argv); }

void *print_new(t_symbol *s, long argc, t_atom *argv)
{
    (void)s;
    mh_print *x = (mh_print *)object_alloc(s_print_class);
    if (!x)
        return nullptr;
    x->prefix = argc > 0 ? gensym(mh_atom_to_string(argv[0]).c_str()) : sym("print");
    return x;
}

void print_register()
{
    t_class *c = class_new("print", (method)print_new, nullptr, sizeof(mh_print), nullptr, A_GIMME, 0);
    class_addmethod(c, (method)print_bang, "bang", 0);
    class_addmethod(c, (method)print_int, "int", A_LONG, 0);
    class_addmethod(c, (method)print_float, "float", A_FLOAT, 0);
    class_addmethod(c, (method)print_list, "list", A_GIMME, 0);
    class_addmethod(c, (method)print_anything, "anything", A_GIMME, 0);
    class_register(CLASS_BOX, c);
    s_print_class = c;
}

// ---------------------------------------------------------------- loadbang

struct mh_loadbang {
    t_object ob; // first
    void *out;
};

t_class *s_loadbang_class = nullptr;

void loadbang_bang(mh_loadbang *x) { outlet_anything(x->out, sym("bang"), 0, nullptr); }

void *loadbang_new()
{
    mh_loadbang *x = (mh_loadbang *)object_alloc(s_loadbang_class);
    if (x)
        x->out = outlet_new(x, "bang");
    return x;
}

void loadbang_register()
{
    t_class *c = class_new("loadbang", (method)loadbang_new, nullptr, sizeof(mh_loadbang), nullptr, 0);
    class_addmethod(c, (method)loadbang_bang, "loadbang", A_CANT, 0);
    class_addmethod(c, (method)loadbang_bang, "bang", 0);
    class_register(CLASS_BOX, c);
    s_loadbang_class = c;
}

} // namespace

// Registers the standard classes once; later calls do nothing.
void mh_register_std_classes()
{
    static std::once_flag once;
    std::call_once(once, [] {
        message_register();
        print_register();
        loadbang_register();
        mh_comment_register();
    });
}
