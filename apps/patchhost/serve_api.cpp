// The server's host actions: everything the page asks of the patch that
// needs the host (box list, attributes, messages, mouse events, buffer~
// contents, opening and saving sounds).  Each api_ function runs on the main
// thread, called through main_call from an HTTP handler, and answers with
// JSON ({"error": TEXT} when the request cannot be carried out).
#include "serve.h"

#include <sndfile.h>

#include <filesystem>
#include <future>

namespace patchhost {
namespace serve {

namespace {

Json error(const std::string &text) { return {{"error", text}}; }

// The regular files of a folder with their sizes and times.
using FileStamps = std::map<std::string, std::pair<uintmax_t, std::filesystem::file_time_type>>;

FileStamps folder_files(const std::string &folder)
{
    FileStamps out;
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(folder, ec)) {
        std::error_code ec2;
        if (e.is_regular_file(ec2))
            out[e.path().filename().string()] = {e.file_size(ec2), e.last_write_time(ec2)};
    }
    return out;
}

// Offers the page every file of the folder that is new or changed since `before`.
void offer_new_files(Session &s, const FileStamps &before)
{
    for (const auto &f : folder_files(s.downloads_dir)) {
        auto old = before.find(f.first);
        if (old == before.end() || old->second != f.second)
            push_event(s, {{"type", "download"}, {"name", f.first}, {"url", "/api/download/" + f.first}});
    }
}

const BoxInfo *find_info(Session &s, const std::string &ref)
{
    for (const BoxInfo &b : s.boxes)
        if (b.ref == ref || (!b.varname.empty() && b.varname == ref))
            return &b;
    return nullptr;
}

// The buffer~ box bound to `name`, or the first buffer~ box when the name
// is empty.
const BoxInfo *find_buffer_box(Session &s, const std::string &name)
{
    for (const BoxInfo &b : s.boxes)
        if (!b.buffer_name.empty() && (name.empty() || b.buffer_name == name))
            return &b;
    return nullptr;
}

void touch_attrs(Session &s)
{
    std::lock_guard<std::mutex> guard(s.m);
    s.attrs_version++;
    bump_locked(s);
}

std::string json_text(const Json &v)
{
    return v.is_string() ? v.get<std::string>() : std::string();
}

// The page's value for an attribute as atoms of the attribute's type:
// whole numbers for integer types, floats for float types, one symbol
// (spaces and all) for a symbol attribute.
bool attr_atoms(const maxhost::AttrInfo &info, const Json &value, maxhost::Atoms *out)
{
    Json list = value.is_array() ? value : Json::array({value});
    out->clear();
    bool is_int = info.type == "long" || info.type == "char" || info.type == "int32" || info.type == "atom_long";
    bool is_float = info.type == "float64" || info.type == "float32";
    for (const Json &v : list) {
        t_atom a;
        if (is_int && v.is_number())
            atom_setlong(&a, (t_atom_long)std::llround(v.get<double>()));
        else if (is_int && v.is_boolean())
            atom_setlong(&a, v.get<bool>() ? 1 : 0);
        else if (is_float && v.is_number())
            atom_setfloat(&a, v.get<double>());
        else if (info.type == "symbol" && v.is_string())
            atom_setsym(&a, gensym(v.get<std::string>().c_str()));
        else if (info.type == "symbol" && v.is_number())
            atom_setsym(&a, gensym(v.dump().c_str()));
        else {
            maxhost::Atoms one;
            if (!json_atoms(v, &one) || one.size() != 1)
                return false;
            a = one[0];
        }
        out->push_back(a);
    }
    return !out->empty();
}

Json buffer_json(const std::string &name)
{
    long frames = 0, channels = 0;
    double sr = 0;
    if (!maxhost::buffer_info(name, &frames, &channels, &sr))
        return error("no buffer~ named " + name);
    std::vector<float> samples;
    Json hashes = Json::array();
    if (maxhost::buffer_samples(name, &samples) && channels > 0) {
        for (long c = 0; c < channels; c++) {
            char hex[17];
            snprintf(hex, sizeof hex, "%016llx",
                     (unsigned long long)channel_hash(samples.data(), frames, channels, c));
            hashes.push_back(hex);
        }
    }
    return {{"name", name}, {"frames", frames}, {"channels", channels}, {"sr", sr},
            {"duration_ms", sr > 0 ? frames * 1000.0 / sr : 0.0}, {"hash", hashes}};
}

// Whether the console got an error line after the first `before` lines.
bool console_error_since(size_t before, std::string *text)
{
    std::vector<maxhost::ConsoleLine> lines = maxhost::console_lines();
    for (size_t i = before; i < lines.size(); i++)
        if (lines[i].level == "error") {
            *text = lines[i].text;
            return true;
        }
    return false;
}

// The selection's time span of a view, from its selection start and end
// outlets (4 and 5); false when it is empty or not reported yet.
bool selection_span(Session &s, const std::string &ref, double *start_ms, double *end_ms)
{
    std::lock_guard<std::mutex> guard(s.m);
    auto box = s.outlets.find(ref);
    if (box == s.outlets.end())
        return false;
    auto value = [&](long outlet, double *out) {
        auto it = box->second.find(outlet);
        if (it == box->second.end() || !it->second["args"].is_array() || it->second["args"].empty() ||
            !it->second["args"][0].is_number())
            return false;
        *out = it->second["args"][0].get<double>();
        return true;
    };
    return value(4, start_ms) && value(5, end_ms) && *end_ms > *start_ms;
}

} // namespace

bool main_call(Session &s, std::function<Json()> fn, Json *out, std::chrono::milliseconds timeout)
{
    if (s.stopping)
        return false;
    auto result = std::make_shared<std::promise<Json>>();
    std::future<Json> done = result->get_future();
    maxhost::queue_call([result, fn = std::move(fn)]() {
        try {
            result->set_value(fn());
        } catch (const std::exception &e) {
            result->set_value(error(e.what()));
        }
    });
    if (done.wait_for(timeout) != std::future_status::ready)
        return false;
    *out = done.get();
    return true;
}

void describe_boxes(Session &s)
{
    s.boxes.clear();
    int n = 0;
    for (t_object *box : maxhost::patcher_boxes(s.patcher)) {
        BoxInfo b;
        b.box = box;
        b.varname = maxhost::box_varname(box);
        b.ref = maxhost::box_id(box);
        if (b.ref.empty())
            b.ref = b.varname.empty() ? "box-" + std::to_string(++n) : b.varname;
        b.classname = maxhost::box_classname(box);
        b.ui = maxhost::box_is_ui(box);
        b.rect = maxhost::box_rect(box);
        b.inlets = maxhost::box_inlet_count(box);
        b.outlets = maxhost::box_outlet_count(box);
        s.ref_of[box] = b.ref;
        s.boxes.push_back(b);
    }
}

Json api_patch(Session &s)
{
    Json boxes = Json::array(), lines = Json::array();
    double right = 0, bottom = 0;
    for (const BoxInfo &b : s.boxes) {
        t_rect r = maxhost::box_rect(b.box);
        right = std::max(right, r.x + r.width);
        bottom = std::max(bottom, r.y + r.height);
        boxes.push_back({{"ref", b.ref}, {"class", b.classname}, {"varname", b.varname}, {"text", b.text},
                         {"ui", b.ui}, {"rect", {r.x, r.y, r.width, r.height}}, {"inlets", b.inlets},
                         {"outlets", b.outlets}, {"buffer", b.buffer_name},
                         {"placeholder", maxhost::box_is_placeholder(b.box)}});
    }
    for (t_object *l = jpatcher_get_firstline(s.patcher); l; l = jpatchline_get_nextline(l)) {
        auto a = s.ref_of.find(jpatchline_get_box1(l)), b = s.ref_of.find(jpatchline_get_box2(l));
        if (a != s.ref_of.end() && b != s.ref_of.end())
            lines.push_back({{"from", a->second}, {"outlet", jpatchline_get_outletnum(l)},
                             {"to", b->second}, {"inlet", jpatchline_get_inletnum(l)}});
    }
    return {{"name", s.patch_name}, {"boxes", boxes}, {"lines", lines}, {"size", {right, bottom}},
            {"layout", s.sound_layout ? "sound" : "patch"}};
}

Json api_attrs(Session &s, const std::string &ref)
{
    const BoxInfo *b = find_info(s, ref);
    t_object *x = b ? jbox_get_object(b->box) : nullptr;
    if (!x)
        return error("no box " + ref);
    Json attrs = Json::array();
    for (const maxhost::AttrInfo &a : maxhost::attributes_of(x)) {
        maxhost::Atoms value;
        Json v = maxhost::attr_get(x, a.name, &value) ? atoms_json((long)value.size(), value.data()) : Json();
        attrs.push_back({{"name", a.name}, {"type", a.type}, {"size", a.size}, {"category", a.category},
                         {"label", a.label}, {"style", a.style}, {"enumvals", a.enumvals}, {"value", v}});
    }
    return {{"box", b->ref}, {"class", b->classname}, {"attrs", attrs}};
}

Json api_attr_set(Session &s, const Json &body)
{
    const BoxInfo *b = find_info(s, json_text(body.value("box", Json())));
    t_object *x = b ? jbox_get_object(b->box) : nullptr;
    std::string name = json_text(body.value("name", Json()));
    if (!x)
        return error("no such box");
    for (const maxhost::AttrInfo &a : maxhost::attributes_of(x)) {
        if (a.name != name)
            continue;
        maxhost::Atoms atoms;
        if (!attr_atoms(a, body.value("value", Json()), &atoms))
            return error("not a value for " + name);
        if (!maxhost::attr_set(x, name, atoms))
            return error("cannot set " + name);
        touch_attrs(s);
        maxhost::Atoms now;
        Json v = maxhost::attr_get(x, name, &now) ? atoms_json((long)now.size(), now.data()) : Json();
        return {{"ok", true}, {"value", v}};
    }
    return error(b->classname + " has no attribute " + name);
}

Json api_send(Session &s, const Json &body)
{
    const BoxInfo *b = find_info(s, json_text(body.value("box", Json())));
    std::string message = json_text(body.value("message", Json()));
    const Json inlet_json = body.value("inlet", Json(0));
    long inlet = inlet_json.is_number_integer() ? inlet_json.get<long>() : 0;
    maxhost::Atoms args;
    if (!b)
        return error("no such box");
    if (message.empty() || !json_atoms(body.value("args", Json::array()), &args))
        return error("a message needs a selector and atoms");
    if (inlet < 0 || inlet >= std::max(1L, b->inlets))
        return error("no inlet " + std::to_string(inlet));
    // A message may write files (write, writewave ...): they land in the
    // editor's folder and go to the page as downloads.
    const auto before = folder_files(s.downloads_dir);
    maxhost::send(b->box, inlet, gensym(message.c_str()), (long)args.size(), args.data());
    touch_attrs(s);
    offer_new_files(s, before);
    return {{"ok", true}};
}

long mouse_modifiers(const Json &e, maxhost::Mouse kind)
{
    auto flag = [&](const char *key) { return e.value(key, Json(false)) == Json(true); };
    long m = 0;
    if (flag("shift"))
        m |= eShiftKey;
    if (flag("ctrl"))
        m |= eControlKey;
    if (flag("alt"))
        m |= eAltKey;
    if (flag("meta"))
        m |= eCommandKey;
    const Json button = e.value("button", Json(0)), buttons = e.value("buttons", Json(0));
    long bt = button.is_number_integer() ? button.get<long>() : 0;
    long bs = buttons.is_number_integer() ? buttons.get<long>() : 0;
    // A press or release names the button that changed (0 left, 1 middle,
    // 2 right); a drag the ones held (bits 1 left, 2 right, 4 middle).
    bool edge = kind == maxhost::Mouse::down || kind == maxhost::Mouse::up;
    if ((bs & 1) || (edge && bt == 0))
        m |= eLeftButton;
    if ((bs & 2) || (edge && bt == 2))
        m |= eRightButton;
    if ((bs & 4) || (edge && bt == 1))
        m |= eMiddleButton;
    // A right-click, or a click with Control held, asks for the context menu.
    if (kind == maxhost::Mouse::down && (bt == 2 || (bt == 0 && flag("ctrl"))))
        m |= ePopupMenu;
    return m;
}

Json api_mouse(Session &s, const Json &body)
{
    static const std::map<std::string, maxhost::Mouse> kinds = {
        {"enter", maxhost::Mouse::enter}, {"move", maxhost::Mouse::move}, {"down", maxhost::Mouse::down},
        {"drag", maxhost::Mouse::drag}, {"up", maxhost::Mouse::up}, {"leave", maxhost::Mouse::leave},
        {"doubleclick", maxhost::Mouse::doubleclick}};
    const BoxInfo *b = find_info(s, json_text(body.value("box", Json())));
    const std::string kind_name = json_text(body.value("kind", Json()));
    auto kind = kinds.find(kind_name);
    const Json x = body.value("x", Json(0.0)), y = body.value("y", Json(0.0));
    if (b && kind_name == "wheel" && x.is_number() && y.is_number()) {
        const Json dx = body.value("dx", Json(0.0)), dy = body.value("dy", Json(0.0));
        if (!dx.is_number() || !dy.is_number())
            return error("a wheel event needs its steps dx and dy");
        long modifiers = mouse_modifiers(body, maxhost::Mouse::move);
        maxhost::mouse_wheel(b->box, x.get<double>(), y.get<double>(), dx.get<double>(), dy.get<double>(), modifiers);
        return {{"ok", true}, {"modifiers", modifiers}};
    }
    if (!b || kind == kinds.end() || !x.is_number() || !y.is_number())
        return error("a mouse event needs a box, a kind and a position");
    long modifiers = mouse_modifiers(body, kind->second);
    maxhost::mouse(b->box, kind->second, x.get<double>(), y.get<double>(), modifiers);
    // A press may have run a menu that changed attributes.
    if (kind->second == maxhost::Mouse::down)
        touch_attrs(s);
    return {{"ok", true}, {"modifiers", modifiers}};
}

Json api_resize(Session &s, const Json &body)
{
    const BoxInfo *b = find_info(s, json_text(body.value("box", Json())));
    const Json w = body.value("width", Json()), h = body.value("height", Json());
    if (!b || !b->ui || !w.is_number() || !h.is_number())
        return error("a resize needs a box that paints, a width and a height");
    // Within what a screen can show; the host keeps at least one pixel.
    const double width = std::clamp(w.get<double>(), 16.0, 8192.0), height = std::clamp(h.get<double>(), 16.0, 8192.0);
    maxhost::box_set_size(b->box, std::round(width), std::round(height));
    touch_attrs(s); // patching_rect
    t_rect r = maxhost::box_rect(b->box);
    return {{"ok", true}, {"rect", {r.x, r.y, r.width, r.height}}};
}

Json api_scale(Session &s, const Json &body)
{
    (void)s;
    const Json v = body.value("scale", Json());
    if (!v.is_number())
        return error("a scale needs a number of pixels per point");
    maxhost::set_paint_scale(v.get<double>());
    return {{"scale", maxhost::paint_scale()}};
}

Json api_buffers(Session &s)
{
    Json out = Json::array();
    for (const BoxInfo &b : s.boxes)
        if (!b.buffer_name.empty())
            out.push_back(buffer_json(b.buffer_name));
    return out;
}

// The spectrogram~ views showing buffer~ `name`.
std::vector<t_object *> views_of(Session &s, const std::string &name)
{
    std::vector<t_object *> out;
    for (const BoxInfo &b : s.boxes) {
        t_object *x = b.classname == "spectrogram~" ? jbox_get_object(b.box) : nullptr;
        maxhost::Atoms v;
        if (x && maxhost::attr_get(x, "buffer_name", &v) && !v.empty() && atom_gettype(&v[0]) == A_SYM &&
            name == atom_getsym(&v[0])->s_name)
            out.push_back(x);
    }
    return out;
}

Json api_open_sound(Session &s, const std::string &path, const std::string &buffer)
{
    BoxInfo *b = const_cast<BoxInfo *>(find_buffer_box(s, buffer));
    if (!b)
        return error("the patch has no buffer~");
    const std::string file = std::filesystem::path(path).filename().string();
    SF_INFO info{};
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f)
        return error(file + " cannot be opened as a sound (" + sf_strerror(nullptr) + ")");
    sf_close(f);
    // Another sound starts a history of its own: the views let go of the
    // buffer~ while it reads (which drops their undo steps, made on the old
    // sound) and take it up again with the new one.
    std::vector<t_object *> views = views_of(s, b->buffer_name);
    maxhost::Atoms none(1), name(1);
    atom_setsym(&none[0], gensym(""));
    atom_setsym(&name[0], gensym(b->buffer_name.c_str()));
    for (t_object *x : views)
        maxhost::attr_set(x, "buffer_name", none);
    t_atom a;
    atom_setsym(&a, gensym(path.c_str()));
    size_t before = maxhost::console_lines().size();
    maxhost::send(b->box, 0, gensym("read"), 1, &a);
    for (t_object *x : views)
        maxhost::attr_set(x, "buffer_name", name);
    touch_attrs(s);
    std::string why;
    if (console_error_since(before, &why))
        return error(people_text(s, why));
    b->text = "buffer~ " + b->buffer_name + " " + file;
    s.patch_name = file;
    Json out = buffer_json(b->buffer_name);
    out["file"] = file;
    out["text"] = b->text;
    out["ref"] = b->ref;
    return out;
}

Json api_save_buffer(Session &s, const std::string &buffer, std::string *path)
{
    const BoxInfo *b = find_buffer_box(s, buffer);
    if (!b)
        return error("the patch has no buffer~");
    std::filesystem::path p = std::filesystem::path(s.downloads_dir) / safe_file_name(b->buffer_name + ".wav", "sound.wav");
    std::error_code ec;
    std::filesystem::remove(p, ec);
    t_atom a;
    atom_setsym(&a, gensym(p.string().c_str()));
    maxhost::send(b->box, 0, gensym("write"), 1, &a);
    if (!std::filesystem::is_regular_file(p, ec))
        return error("the buffer~ could not be written (see the console)");
    *path = p.string();
    return {{"ok", true}, {"name", p.filename().string()}};
}

Json api_sound_wav(Session &s, const std::string &buffer, const std::string &box, bool selection, std::string *wav)
{
    std::string name = buffer;
    double start_ms = 0, end_ms = -1;
    if (!box.empty()) {
        const BoxInfo *b = find_info(s, box);
        t_object *x = b ? jbox_get_object(b->box) : nullptr;
        maxhost::Atoms v;
        if (!x || !maxhost::attr_get(x, "buffer_name", &v) || v.empty() || atom_gettype(&v[0]) != A_SYM)
            return error("not a view of a buffer~");
        name = atom_getsym(&v[0])->s_name;
        if (selection && !selection_span(s, b->ref, &start_ms, &end_ms))
            return error("the selection is empty");
    } else if (name.empty()) {
        const BoxInfo *b = find_buffer_box(s, "");
        if (!b)
            return error("the patch has no buffer~");
        name = b->buffer_name;
    }
    long frames = 0, channels = 0;
    double sr = 0;
    std::vector<float> samples;
    if (!maxhost::buffer_info(name, &frames, &channels, &sr) || !maxhost::buffer_samples(name, &samples) ||
        channels < 1 || !(sr > 0))
        return error("no buffer~ named " + name);
    long first = 0, last = frames;
    if (end_ms >= 0) {
        first = std::clamp((long)std::floor(start_ms * sr / 1000.0), 0L, frames);
        last = std::clamp((long)std::ceil(end_ms * sr / 1000.0), first, frames);
    }
    *wav = encode_wav(samples.data() + (size_t)first * channels, (size_t)(last - first), channels, sr);
    return {{"ok", true}, {"buffer", name}, {"start_ms", first * 1000.0 / sr}, {"end_ms", last * 1000.0 / sr}};
}

} // namespace serve
} // namespace patchhost
