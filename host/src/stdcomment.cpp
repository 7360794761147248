// The host's `comment` class: the text boxes that label a patch (help
// patchers are mostly comments).  It draws its text in the box, wrapped at
// words to the box width and at line breaks, in its `textcolor` and
// `fontsize`; `set ...` replaces the text.  One inlet, no outlet, no
// background: as in Max, a comment is only its text.
#include "internal.h"

#include <string>
#include <vector>

void mh_comment_register();

namespace {

struct mh_comment {
    t_jbox box;        // first
    std::string *text; // owned
    t_jrgba textcolor; // attribute
    double fontsize;   // attribute, points
};

t_class *s_comment_class = nullptr;

std::string atoms_text(long argc, const t_atom *argv)
{
    std::string text;
    for (long i = 0; i < argc; i++)
        text += (i ? " " : "") + mh_atom_to_string(argv[i]);
    return text;
}

void comment_set(mh_comment *x, t_symbol *s, long argc, t_atom *argv)
{
    (void)s;
    *x->text = atoms_text(argc, argv);
    jbox_redraw(&x->box);
}

// Splits the text into lines no wider than `width`: at line breaks, then
// at spaces; a word wider than the box keeps a line of its own.
std::vector<std::string> comment_lines(t_jgraphics *g, const std::string &text, double width)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        std::string para = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string line;
        size_t i = 0;
        while (i <= para.size()) {
            size_t sp = para.find(' ', i);
            std::string word = para.substr(i, sp == std::string::npos ? std::string::npos : sp - i);
            std::string candidate = line.empty() ? word : line + " " + word;
            double w = 0, h = 0;
            jgraphics_text_measure(g, candidate.c_str(), &w, &h);
            if (w > width && !line.empty()) {
                lines.push_back(line);
                line = word;
            } else {
                line = candidate;
            }
            if (sp == std::string::npos)
                break;
            i = sp + 1;
        }
        lines.push_back(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

void comment_paint(mh_comment *x, t_object *view)
{
    t_rect r;
    t_jgraphics *g = (t_jgraphics *)patcherview_get_jgraphics(view);
    jbox_get_rect_for_view((t_object *)x, view, &r);
    jgraphics_set_source_jrgba(g, &x->textcolor);
    jgraphics_select_font_face(g, "Arial", JGRAPHICS_FONT_SLANT_NORMAL, JGRAPHICS_FONT_WEIGHT_NORMAL);
    jgraphics_set_font_size(g, x->fontsize);
    const double margin = 4., leading = x->fontsize * 1.25;
    double y = margin + x->fontsize * 0.9;
    for (const std::string &line : comment_lines(g, *x->text, r.width - 2 * margin)) {
        jgraphics_move_to(g, margin, y);
        jgraphics_show_text(g, line.c_str());
        y += leading;
    }
}

void *comment_new(t_symbol *s, long argc, t_atom *argv)
{
    (void)s;
    t_dictionary *d = object_dictionaryarg(argc, argv);
    if (!d)
        return nullptr;
    mh_comment *x = (mh_comment *)object_alloc(s_comment_class);
    if (!x)
        return nullptr;
    jbox_new(&x->box, JBOX_GROWBOTH, argc, argv);
    x->box.b_firstin = (t_object *)x;
    x->text = new std::string();
    maxhost::Atoms text;
    if (mh_dict_get(d, gensym("text"), &text))
        *x->text = atoms_text((long)text.size(), text.data());
    attr_dictionary_process(x, d);
    jbox_ready(&x->box);
    return x;
}

void comment_free(mh_comment *x)
{
    jbox_free(&x->box);
    delete x->text;
}

} // namespace

void mh_comment_register()
{
    t_class *c = class_new("comment", (method)comment_new, (method)comment_free, sizeof(mh_comment), nullptr,
                           A_GIMME, 0);
    c->c_flags |= CLASS_FLAG_NEWDICTIONARY;
    jbox_initclass(c, JBOX_GROWBOTH);
    class_addmethod(c, (method)comment_paint, "paint", A_CANT, 0);
    class_addmethod(c, (method)comment_set, "set", A_GIMME, 0);
    CLASS_ATTR_RGBA(c, "textcolor", 0, mh_comment, textcolor);
    CLASS_ATTR_DEFAULT_SAVE_PAINT(c, "textcolor", 0, "0. 0. 0. 1.");
    CLASS_ATTR_DOUBLE(c, "fontsize", 0, mh_comment, fontsize);
    CLASS_ATTR_FILTER_CLIP(c, "fontsize", 4, 96);
    CLASS_ATTR_DEFAULT_SAVE_PAINT(c, "fontsize", 0, "12.");
    CLASS_ATTR_DEFAULT(c, "patching_rect", 0, "0. 0. 150. 20.");
    class_register(CLASS_BOX, c);
    s_comment_class = c;
}
