// `patchhost classes NAME... [--path DIR]...`: describes box classes as the
// host sees them once their plug-ins' ext_main has run, as one JSON object
// on standard output: for each class its inlets and outlets with their help
// texts (from a box made with the class defaults), the messages it
// registered (internal A_CANT methods left out) and its attributes with
// type, category, label, style, enumeration, default, clip range and the
// save and paint flags.  The reference pages and the README's reference
// section are generated from it, so they cannot drift from the code.
// Exit status: 0 done, 1 bad command line, 2 a class that cannot be loaded.
#include "patchhost.h"

#include <iostream>

namespace patchhost {
namespace {

const char *type_name(long t)
{
    switch (t) {
    case A_LONG: return "long";
    case A_FLOAT: return "float";
    case A_SYM: return "symbol";
    case A_GIMME: return "gimme";
    case A_DEFLONG: return "long?";
    case A_DEFFLOAT: return "float?";
    case A_DEFSYM: return "symbol?";
    default: return "other";
    }
}

Json io_json(t_object *box, bool outlet)
{
    Json list = Json::array();
    long n = outlet ? maxhost::box_outlet_count(box) : maxhost::box_inlet_count(box);
    for (long i = 0; i < n; i++)
        list.push_back({{"index", i}, {"assist", maxhost::box_assist(box, outlet, i)}});
    return list;
}

Json methods_json(t_class *c)
{
    Json list = Json::array();
    for (const maxhost::MethodInfo &m : maxhost::methods_of(c)) {
        if (!m.types.empty() && m.types[0] == A_CANT)
            continue;
        Json args = Json::array();
        for (long t : m.types)
            args.push_back(type_name(t));
        list.push_back({{"name", m.name}, {"args", args}});
    }
    return list;
}

Json attributes_json(t_object *box)
{
    Json list = Json::array();
    for (const maxhost::AttrInfo &a : maxhost::attributes_of(box)) {
        Json j = {{"name", a.name},         {"type", a.type},   {"size", a.size},   {"category", a.category},
                  {"label", a.label},       {"style", a.style}, {"save", a.save}, {"paint", a.paint},
                  {"enumvals", a.enumvals}, {"default", atoms_json((long)a.default_value.size(),
                                                                   a.default_value.data())}};
        j["min"] = a.has_min ? Json(a.min) : Json(nullptr);
        j["max"] = a.has_max ? Json(a.max) : Json(nullptr);
        list.push_back(j);
    }
    return list;
}

} // namespace

int classes_main(int argc, char **argv)
{
    std::vector<std::string> names;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--path" && i + 1 < argc)
            maxhost::add_search_path(argv[++i]);
        else if (a.rfind("--", 0) != 0)
            names.push_back(a);
        else
            names.clear(), i = argc;
    }
    if (names.empty()) {
        fprintf(stderr, "usage: patchhost classes NAME... [--path DIR]...\n");
        return 1;
    }
    Json out = Json::object();
    t_object *patcher = maxhost::patcher_new("");
    int status = 0;
    for (const std::string &name : names) {
        t_class *c = maxhost::find_box_class(name);
        maxhost::BoxSpec spec;
        spec.maxclass = name;
        t_object *box = c ? maxhost::box_new(patcher, spec) : nullptr;
        if (!box || maxhost::box_is_placeholder(box)) {
            fprintf(stderr, "patchhost: no class %s\n", name.c_str());
            status = 2;
            break;
        }
        out[name] = {{"inlets", io_json(box, false)},
                     {"outlets", io_json(box, true)},
                     {"messages", methods_json(c)},
                     {"attributes", attributes_json(box)}};
    }
    maxhost::patcher_free(patcher);
    maxhost::pump();
    if (status == 0)
        std::cout << out.dump(2) << "\n";
    return status;
}

} // namespace patchhost
