// The bundled demo: loads the test external into the stand-in host, builds a
// small patch around it, drives it and prints what happened.
#include "maxhost.h"

#include <cstdio>

int main()
{
    maxhost::set_console_sink([](const maxhost::ConsoleLine &l) {
        printf("console %s%s%s: %s\n", l.level.c_str(), l.classname.empty() ? "" : " ",
               l.classname.c_str(), l.text.c_str());
    });
    maxhost::set_outlet_hook([](t_object *box, long outlet, t_symbol *s, long argc, const t_atom *argv) {
        printf("outlet %s:%ld %s", maxhost::box_id(box).c_str(), outlet, s->s_name);
        for (long i = 0; i < argc; i++)
            printf(" %s", argv[i].a_type == A_SYM ? argv[i].a_w.w_sym->s_name
                                                  : std::to_string(atom_getfloat(argv + i)).c_str());
        printf("\n");
    });
    std::string err;
    if (!maxhost::load_external("testui", &err)) {
        fprintf(stderr, "demo: %s\n", err.c_str());
        return 1;
    }
    t_object *patcher = maxhost::patcher_new("");
    maxhost::BoxSpec spec;
    spec.maxclass = "testui";
    spec.id = "ui";
    spec.attrs = {{"label", {}}};
    t_atom label;
    atom_setsym(&label, gensym("demo"));
    spec.attrs[0].second = {label};
    t_object *box = maxhost::box_new(patcher, spec);
    printf("created %s in box %s\n", maxhost::box_classname(box).c_str(), maxhost::box_id(box).c_str());
    maxhost::send(box, 0, gensym("bang"), 0, nullptr);
    t_atom f;
    atom_setfloat(&f, 21);
    maxhost::send(box, 0, gensym("float"), 1, &f);
    maxhost::pump();
    maxhost::Image img;
    if (maxhost::paint_box(box, &img))
        printf("painted %dx%d, first pixel rgba %d %d %d %d\n", img.width, img.height, img.rgba[0], img.rgba[1],
               img.rgba[2], img.rgba[3]);
    maxhost::patcher_free(patcher);
    return 0;
}
