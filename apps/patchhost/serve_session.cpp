// What the page sees of the running patch, kept up to date by the host's
// hooks: the latest picture of every UI box, the last message on every
// outlet, cursors, console lines and downloads, and the menu or dialog the
// host is waiting on.  The hooks run on the main thread (console lines may
// come from any thread) and copy what they get into the Session under its
// mutex; the page's long polls read it from the HTTP threads.
//
// The menus and dialogs are modal, as in Max: the web UI driver, called on
// the main thread from inside a mouse handler or a message, publishes the
// request and blocks until the page answers, the page goes away, or the
// request times out (the last two cancel it).
#include "serve.h"

#include <filesystem>

namespace patchhost {
namespace serve {

namespace {

const size_t max_events = 1000;                          // console lines and downloads kept for late pollers
const auto page_gone_after = std::chrono::seconds(3);   // no poll for this long: the page is closed

Json menu_items_json(const std::vector<maxhost::MenuItem> &items)
{
    Json out = Json::array();
    for (const maxhost::MenuItem &item : items) {
        if (item.separator)
            out.push_back({{"separator", true}});
        else
            out.push_back({{"id", item.id}, {"text", item.text}, {"enabled", !item.disabled},
                           {"checked", item.checked}});
    }
    return out;
}

bool page_alive(Session &s, Clock::time_point now);

// The driver behind every popup menu, text dialog and save dialog while the
// server runs.  Main thread.
class WebUi : public maxhost::UiDriver {
public:
    explicit WebUi(Session &s) : s_(s) {}

    int popup_menu(const std::vector<maxhost::MenuItem> &items, long sx, long sy) override
    {
        Json answer;
        if (!ask({{"kind", "menu"}, {"items", menu_items_json(items)}, {"x", sx}, {"y", sy}}, &answer))
            return 0;
        const Json item = answer.value("item", Json());
        return item.is_number_integer() ? item.get<int>() : 0;
    }

    bool text_dialog(const std::string &prompt, const std::string &default_text, std::string *text) override
    {
        Json answer;
        if (!ask({{"kind", "dialog"}, {"prompt", prompt}, {"default", default_text}}, &answer) ||
            answer.value("ok", Json(false)) != Json(true))
            return false;
        const Json t = answer.value("text", Json());
        *text = t.is_string() ? t.get<std::string>() : std::string();
        return true;
    }

    // The page only names the file: it is written into the downloads folder
    // and offered to the page once it exists.
    bool save_dialog(const std::string &default_name, std::string *path) override
    {
        Json answer;
        if (!ask({{"kind", "save"}, {"name", default_name}}, &answer) ||
            answer.value("ok", Json(false)) != Json(true))
            return false;
        const Json n = answer.value("name", Json());
        std::string name = safe_file_name(n.is_string() ? n.get<std::string>() : "", default_name);
        std::filesystem::path p = std::filesystem::path(s_.downloads_dir) / name;
        std::error_code ec;
        std::filesystem::remove(p, ec); // so that the file existing afterwards means it was written
        *path = p.string();
        std::lock_guard<std::mutex> guard(s_.m);
        s_.pending_downloads.push_back(*path);
        return true;
    }

private:
    // Publishes the request and waits for the page's answer.  False when
    // cancelled: timeout, no page, or the server stopping.
    bool ask(Json request, Json *answer)
    {
        std::unique_lock<std::mutex> lk(s_.m);
        const Clock::time_point start = Clock::now();
        const auto timeout = std::chrono::seconds(s_.options.dialog_timeout_s);
        s_.ui.id++;
        s_.ui.open = true;
        s_.ui.answered = false;
        s_.ui.request = std::move(request);
        s_.ui.answer = Json();
        bump_locked(s_);
        bool ok = false;
        for (;;) {
            if (s_.ui.answered) {
                *answer = s_.ui.answer;
                ok = true;
                break;
            }
            Clock::time_point now = Clock::now();
            if (s_.stopping || serve_stop_requested() || !page_alive(s_, now) || now - start > timeout)
                break;
            s_.changed.wait_for(lk, std::chrono::milliseconds(200));
        }
        s_.ui.open = false;
        s_.ui.request = Json();
        bump_locked(s_);
        return ok;
    }

    Session &s_;
};

std::unique_ptr<WebUi> driver;

// Whether some page still polls, or did a moment ago.  Caller holds s.m.
bool page_alive(Session &s, Clock::time_point now)
{
    for (const auto &p : s.pages)
        if (!p.second.gone && (p.second.polls_active > 0 || now - p.second.last_poll_end < page_gone_after))
            return true;
    return false;
}

void store_picture(Session &s, const std::string &ref, maxhost::Image image)
{
    std::lock_guard<std::mutex> guard(s.m);
    Picture &p = s.pictures[ref];
    p.image = std::make_shared<const maxhost::Image>(std::move(image));
    p.version++;
    bump_locked(s);
}

std::string ref_for(Session &s, t_object *box)
{
    auto it = s.ref_of.find(box);
    if (it != s.ref_of.end())
        return it->second;
    std::string ref = maxhost::box_id(box);
    return ref.empty() ? maxhost::box_varname(box) : ref;
}

void replace_all(std::string &text, const std::string &what, const std::string &with)
{
    for (size_t at = text.find(what); !what.empty() && at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

} // namespace

std::string people_text(const Session &s, std::string text)
{
    for (const std::string &dir : {s.downloads_dir, s.uploads_dir, s.temp_dir})
        if (!dir.empty())
            replace_all(text, dir + "/", "");
    replace_all(text, "custom-resolution surface for PNG", "image for the PNG");
    replace_all(text, "custom-resolution PNG", "PNG");
    return text;
}

void bump_locked(Session &s)
{
    s.seq++;
    s.changed.notify_all();
}

void push_event(Session &s, Json event)
{
    std::lock_guard<std::mutex> guard(s.m);
    bump_locked(s);
    s.events.emplace_back(s.seq, std::move(event));
    while (s.events.size() > max_events)
        s.events.pop_front();
}

void install_hooks(Session &s)
{
    Session *sp = &s;
    maxhost::set_redraw_hook([sp](t_object *box) {
        auto it = sp->ref_of.find(box);
        maxhost::Image image;
        if (it != sp->ref_of.end() && maxhost::last_picture(box, &image))
            store_picture(*sp, it->second, std::move(image));
    });
    maxhost::set_outlet_hook([sp](t_object *box, long outlet, t_symbol *sel, long argc, const t_atom *argv) {
        Json value = {{"sel", sel ? sel->s_name : ""}, {"args", atoms_json(argc, argv)}};
        std::string ref = ref_for(*sp, box);
        std::lock_guard<std::mutex> guard(sp->m);
        sp->outlets[ref][outlet] = std::move(value);
        bump_locked(*sp);
    });
    maxhost::set_console_sink([sp](const maxhost::ConsoleLine &l) {
        fprintf(stderr, "%s%s%s\n", l.classname.c_str(), l.classname.empty() ? "" : ": ", l.text.c_str());
        Json cls = l.classname.empty() ? Json(nullptr) : Json(l.classname);
        push_event(*sp, {{"type", "console"}, {"level", l.level}, {"class", cls}, {"text", people_text(*sp, l.text)}});
    });
    maxhost::set_cursor_hook([sp](t_object *box, long cursor) {
        std::string ref = ref_for(*sp, box);
        std::lock_guard<std::mutex> guard(sp->m);
        sp->cursors[ref] = cursor;
        bump_locked(*sp);
    });
    driver = std::make_unique<WebUi>(s);
    maxhost::set_ui_driver(driver.get());
}

void uninstall_hooks()
{
    maxhost::set_ui_driver(nullptr);
    maxhost::set_redraw_hook(nullptr);
    maxhost::set_outlet_hook(nullptr);
    maxhost::set_console_sink(nullptr);
    maxhost::set_cursor_hook(nullptr);
    driver.reset();
}

void capture_pictures(Session &s)
{
    for (const BoxInfo &b : s.boxes) {
        if (!b.ui)
            continue;
        maxhost::Image image;
        if (maxhost::last_picture(b.box, &image) || maxhost::paint_box(b.box, &image))
            store_picture(s, b.ref, std::move(image));
        long cursor = maxhost::box_cursor(b.box);
        if (cursor >= 0) {
            std::lock_guard<std::mutex> guard(s.m);
            s.cursors[b.ref] = cursor;
        }
    }
}

void flush_downloads(Session &s)
{
    std::vector<std::string> pending;
    {
        std::lock_guard<std::mutex> guard(s.m);
        pending.swap(s.pending_downloads);
    }
    // The write that follows a save dialog has run by now: a missing file
    // means it failed, and the console says why.
    for (const std::string &path : pending) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec))
            continue;
        std::string name = std::filesystem::path(path).filename().string();
        push_event(s, {{"type", "download"}, {"name", name}, {"url", "/api/download/" + name}});
    }
}

Json state_json_locked(Session &s, uint64_t since)
{
    Json out = {{"seq", s.seq}, {"attrs_version", s.attrs_version}};
    Json pictures = Json::object(), cursors = Json::object(), outlets = Json::object();
    for (const auto &p : s.pictures)
        if (p.second.image)
            pictures[p.first] = {{"version", p.second.version}, {"width", p.second.image->width},
                                 {"height", p.second.image->height}};
    for (const auto &c : s.cursors)
        cursors[c.first] = c.second;
    for (const auto &b : s.outlets) {
        Json per = Json::object();
        for (const auto &o : b.second)
            per[std::to_string(o.first)] = o.second;
        outlets[b.first] = per;
    }
    out["pictures"] = pictures;
    out["cursors"] = cursors;
    out["outlets"] = outlets;
    Json events = Json::array();
    for (const auto &e : s.events)
        if (e.first > since || since > s.seq)
            events.push_back(e.second);
    out["events"] = events;
    if (s.ui.open) {
        Json ui = s.ui.request;
        ui["id"] = s.ui.id;
        out["ui"] = ui;
    } else {
        out["ui"] = nullptr;
    }
    return out;
}

Json poll(Session &s, const std::string &page, uint64_t since, std::chrono::milliseconds hold)
{
    std::unique_lock<std::mutex> lk(s.m);
    {
        PageState &ps = s.pages[page];
        ps.polls_active++;
        ps.gone = false;
    }
    // Answers as soon as anything changed: a burst of changes is coalesced
    // by the page, which asks again only after applying this answer.
    s.changed.wait_for(lk, hold, [&] { return s.seq != since || s.stopping; });
    Json out = state_json_locked(s, since);
    PageState &ps = s.pages[page];
    ps.polls_active--;
    ps.last_poll_end = Clock::now();
    // Forget pages long gone, so that the table stays small.
    for (auto it = s.pages.begin(); it != s.pages.end();) {
        bool stale = it->second.polls_active == 0 && ps.last_poll_end - it->second.last_poll_end > std::chrono::minutes(1);
        it = stale ? s.pages.erase(it) : std::next(it);
    }
    return out;
}

bool answer_ui(Session &s, uint64_t id, const Json &answer)
{
    std::lock_guard<std::mutex> guard(s.m);
    if (!s.ui.open || s.ui.answered || s.ui.id != id)
        return false;
    s.ui.answered = true;
    s.ui.answer = answer;
    s.changed.notify_all();
    return true;
}

void page_gone(Session &s, const std::string &page)
{
    std::lock_guard<std::mutex> guard(s.m);
    auto it = s.pages.find(page);
    if (it != s.pages.end())
        it->second.gone = true;
    s.changed.notify_all();
}

bool picture_png(Session &s, const std::string &ref, std::string *png, uint64_t *version)
{
    std::shared_ptr<const maxhost::Image> image;
    {
        std::lock_guard<std::mutex> guard(s.m);
        auto it = s.pictures.find(ref);
        if (it == s.pictures.end() || !it->second.image || it->second.image->width < 1)
            return false;
        *version = it->second.version;
        if (it->second.png_version == it->second.version && !it->second.png.empty()) {
            *png = it->second.png;
            return true;
        }
        image = it->second.image;
    }
    if (!maxhost::encode_png(*image, png))
        return false;
    std::lock_guard<std::mutex> guard(s.m);
    Picture &p = s.pictures[ref];
    if (p.version == *version) {
        p.png = *png;
        p.png_version = *version;
    }
    return true;
}

} // namespace serve
} // namespace patchhost
