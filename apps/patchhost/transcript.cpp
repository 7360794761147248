// The transcript: one JSON object per line for everything observable the
// patch does (outlet messages, console lines, cursor changes, menus and
// dialogs) and for the script's queries, in the order it happened.  The
// host's hooks call in here; each line is written with one stdio call and
// flushed, so lines from other threads never interleave.
#include "patchhost.h"

namespace patchhost {

namespace {

Json menu_line(const maxhost::ScriptedDriver::Record &r)
{
    Json items = Json::array();
    bool valid = false; // the answer is what the object receives: an enabled item of this menu
    for (const maxhost::MenuItem &item : r.items) {
        if (item.separator) {
            items.push_back({{"separator", true}});
            continue;
        }
        items.push_back({{"id", item.id}, {"text", item.text}, {"enabled", !item.disabled},
                         {"checked", item.checked}});
        if (!item.disabled && item.id == r.menu_answer)
            valid = true;
    }
    Json line = {{"t", "menu"}, {"items", items}};
    line["answer"] = r.answered && valid ? Json(r.menu_answer) : Json(nullptr);
    return line;
}

Json record_line(const maxhost::ScriptedDriver::Record &r)
{
    if (r.kind == "menu")
        return menu_line(r);
    Json answer = r.answered ? Json(r.text_answer) : Json(nullptr);
    if (r.kind == "dialog")
        return {{"t", "dialog"}, {"prompt", r.prompt}, {"default", r.default_text}, {"answer", answer}};
    return {{"t", "save"}, {"name", r.default_text}, {"answer", answer}};
}

} // namespace

void transcript_write(Transcript &t, const Json &line)
{
    // Console text may hold any bytes: invalid UTF-8 becomes U+FFFD.
    std::string s = line.dump(-1, ' ', false, Json::error_handler_t::replace);
    s += '\n';
    fwrite(s.data(), 1, s.size(), t.out);
    fflush(t.out);
}

Json atoms_json(long argc, const t_atom *argv)
{
    Json a = Json::array();
    for (long i = 0; i < argc; i++) {
        switch (argv[i].a_type) {
        case A_LONG:
            a.push_back((int64_t)argv[i].a_w.w_long);
            break;
        case A_FLOAT:
            a.push_back((double)argv[i].a_w.w_float);
            break;
        case A_SYM:
            a.push_back(argv[i].a_w.w_sym ? argv[i].a_w.w_sym->s_name : "");
            break;
        default:
            a.push_back(nullptr);
        }
    }
    return a;
}

Json box_ref(t_object *box)
{
    std::string id = maxhost::box_id(box);
    if (id.empty())
        id = maxhost::box_varname(box);
    return id.empty() ? Json(nullptr) : Json(id);
}

void transcript_install_hooks(Transcript &t)
{
    Transcript *tp = &t;
    maxhost::set_outlet_hook([tp](t_object *box, long outlet, t_symbol *s, long argc, const t_atom *argv) {
        transcript_write(*tp, {{"t", "outlet"}, {"box", box_ref(box)}, {"outlet", outlet},
                               {"sel", s ? s->s_name : ""}, {"args", atoms_json(argc, argv)}});
    });
    maxhost::set_console_sink([tp](const maxhost::ConsoleLine &l) {
        Json cls = l.classname.empty() ? Json(nullptr) : Json(l.classname);
        transcript_write(*tp, {{"t", "console"}, {"level", l.level}, {"class", cls}, {"text", l.text}});
    });
    maxhost::set_cursor_hook([tp](t_object *box, long cursor) {
        transcript_write(*tp, {{"t", "cursor"}, {"box", box_ref(box)}, {"cursor", cursor}});
    });
    maxhost::set_ui_driver(nullptr);
    maxhost::scripted_driver().on_record = [tp](const maxhost::ScriptedDriver::Record &r) {
        transcript_write(*tp, record_line(r));
    };
}

void transcript_uninstall_hooks()
{
    maxhost::set_outlet_hook(nullptr);
    maxhost::set_console_sink(nullptr);
    maxhost::set_cursor_hook(nullptr);
    maxhost::scripted_driver().on_record = nullptr;
}

} // namespace patchhost
