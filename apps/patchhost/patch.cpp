// The patch loader: reads a .maxpat file (JSON) and builds its boxes and
// patch cords in the host, in file order.
//
// Object boxes ("newobj") are made from their text; other boxes by their
// maxclass, with every key that is not part of the box itself passed as a
// saved attribute.  A message or comment box also gets its "text".  Problems inside the
// patch (a box without a class, a cord to a missing box) are reported on the
// console and the rest of the patch still loads, as in Max.
#include "patchhost.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace patchhost {

namespace {

// Keys of a box that describe the box, not the object's attributes.
const std::set<std::string> &box_keys()
{
    static const std::set<std::string> keys = {
        "id", "maxclass", "text", "patching_rect", "varname", "numinlets", "numoutlets", "outlettype",
        "fontname", "fontsize", "fontface", "parameter_enable", "parameter_mappable", "presentation",
        "presentation_rect", "hidden", "ignoreclick", "hint", "annotation", "linecount",
    };
    return keys;
}

bool json_atom(const Json &v, t_atom *a)
{
    if (v.is_number_integer())
        atom_setlong(a, v.get<int64_t>());
    else if (v.is_number())
        atom_setfloat(a, v.get<double>());
    else if (v.is_string())
        atom_setsym(a, gensym(v.get<std::string>().c_str()));
    else if (v.is_boolean())
        atom_setlong(a, v.get<bool>() ? 1 : 0);
    else
        return false;
    return true;
}

std::string json_string(const Json &v)
{
    if (v.is_string())
        return v.get<std::string>();
    if (v.is_number())
        return v.dump();
    return std::string();
}

bool box_spec(const Json &box, maxhost::BoxSpec *spec)
{
    spec->maxclass = json_string(box.value("maxclass", Json()));
    if (spec->maxclass.empty())
        return false;
    spec->id = json_string(box.value("id", Json()));
    spec->varname = json_string(box.value("varname", Json()));
    spec->text = json_string(box.value("text", Json()));
    const Json rect = box.value("patching_rect", Json());
    if (rect.is_array() && rect.size() >= 4 && rect[0].is_number() && rect[1].is_number() &&
        rect[2].is_number() && rect[3].is_number())
        spec->rect = {rect[0].get<double>(), rect[1].get<double>(), rect[2].get<double>(), rect[3].get<double>()};
    if (spec->maxclass == "newobj")
        return true;
    if ((spec->maxclass == "message" || spec->maxclass == "comment") && box.contains("text")) {
        t_atom text;
        atom_setsym(&text, gensym(spec->text.c_str()));
        spec->attrs.emplace_back("text", maxhost::Atoms{text});
    }
    for (const auto &item : box.items()) {
        maxhost::Atoms value;
        // Nested dictionaries (Max's own bookkeeping) are not attributes.
        if (!box_keys().count(item.key()) && json_atoms(item.value(), &value))
            spec->attrs.emplace_back(item.key(), value);
    }
    return true;
}

void load_boxes(t_object *patcher, const Json &boxes, std::map<std::string, t_object *> *by_id)
{
    if (!boxes.is_array())
        return;
    for (size_t i = 0; i < boxes.size(); i++) {
        const Json &entry = boxes[i];
        maxhost::BoxSpec spec;
        if (!entry.is_object() || !entry.value("box", Json()).is_object() || !box_spec(entry["box"], &spec)) {
            object_error(nullptr, "patchhost: box %zu has no maxclass and was left out", i + 1);
            continue;
        }
        t_object *box = maxhost::box_new(patcher, spec);
        if (box && !spec.id.empty())
            (*by_id)[spec.id] = box;
    }
}

// A cord end: [box id, index].
bool line_end(const Json &end, std::string *id, long *index)
{
    if (!end.is_array() || end.size() < 2 || !end[1].is_number_integer())
        return false;
    *id = json_string(end[0]);
    *index = end[1].get<long>();
    return !id->empty();
}

void load_lines(t_object *patcher, const Json &lines, const std::map<std::string, t_object *> &by_id)
{
    if (!lines.is_array())
        return;
    for (size_t i = 0; i < lines.size(); i++) {
        const Json line = lines[i].is_object() ? lines[i].value("patchline", Json()) : Json();
        std::string src, dst;
        long outlet = 0, inlet = 0;
        if (!line.is_object() || !line_end(line.value("source", Json()), &src, &outlet) ||
            !line_end(line.value("destination", Json()), &dst, &inlet)) {
            object_error(nullptr, "patchhost: patch cord %zu is malformed and was left out", i + 1);
            continue;
        }
        auto a = by_id.find(src), b = by_id.find(dst);
        if (a == by_id.end() || b == by_id.end()) {
            object_error(nullptr, "patchhost: patch cord %zu connects a missing box \"%s\"", i + 1,
                  (a == by_id.end() ? src : dst).c_str());
            continue;
        }
        maxhost::connect(patcher, a->second, outlet, b->second, inlet);
    }
}

} // namespace

bool json_atoms(const Json &value, maxhost::Atoms *out)
{
    out->clear();
    if (value.is_array()) {
        for (const Json &v : value) {
            t_atom a;
            if (!json_atom(v, &a))
                return false;
            out->push_back(a);
        }
        return true;
    }
    t_atom a;
    if (!json_atom(value, &a))
        return false;
    out->push_back(a);
    return true;
}

int json_depth(const std::string &text, int limit)
{
    int depth = 0, deepest = 0;
    bool in_string = false, escaped = false;
    for (char c : text) {
        if (in_string) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            deepest = ++depth > deepest ? depth : deepest;
            if (deepest > limit)
                return deepest;
        } else if (c == ']' || c == '}') {
            depth--;
        }
    }
    return deepest;
}

bool json_read_file(const std::string &path, Json *doc, std::string *err)
{
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(path, ec);
    if (std::filesystem::is_directory(st)) {
        *err = path + ": is a folder, not a file";
        return false;
    }
    // A device (/dev/zero, say) could be read for ever; a pipe is fine.
    if (std::filesystem::is_character_file(st) || std::filesystem::is_block_file(st) ||
        std::filesystem::is_socket(st)) {
        *err = path + ": is a device, not a file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *err = path + ": cannot read it: " + std::strerror(errno);
        return false;
    }
    std::string s;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        s.append(chunk, (size_t)in.gcount());
        if (s.size() > json_max_bytes) {
            *err = path + ": larger than " + std::to_string(json_max_bytes >> 20) + " MB, too large for a patch";
            return false;
        }
    }
    if (in.bad()) {
        *err = path + ": cannot read it: " + std::strerror(errno);
        return false;
    }
    if (s.empty()) {
        *err = path + ": is empty";
        return false;
    }
    if (json_depth(s, json_max_depth) > json_max_depth) {
        *err = path + ": arrays or objects nest more than " + std::to_string(json_max_depth) + " deep";
        return false;
    }
    *doc = Json::parse(s, nullptr, false);
    if (doc->is_discarded()) {
        *err = path + ": not valid JSON";
        return false;
    }
    return true;
}

t_object *patch_load(const std::string &path, std::string *err)
{
    Json doc;
    if (!json_read_file(path, &doc, err))
        return nullptr;
    if (!doc.is_object() || !doc.value("patcher", Json()).is_object()) {
        *err = path + ": no \"patcher\" in the patch";
        return nullptr;
    }
    const Json &p = doc["patcher"];
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::absolute(path, ec).parent_path();
    t_object *patcher = maxhost::patcher_new(folder.string());
    std::map<std::string, t_object *> by_id;
    load_boxes(patcher, p.value("boxes", Json()), &by_id);
    load_lines(patcher, p.value("lines", Json()), by_id);
    return patcher;
}

void patch_loadbang(t_object *patcher)
{
    static t_symbol *s_loadbang = gensym("loadbang");
    for (t_object *box : maxhost::patcher_boxes(patcher)) {
        t_object *x = jbox_get_object(box);
        // object_method does nothing for a class without the method.
        if (x)
            object_method(x, s_loadbang);
    }
}

} // namespace patchhost
