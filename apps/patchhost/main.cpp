// patchhost: runs a Max patch without a screen.
//
//   patchhost run PATCH.maxpat [--script FILE|-] [--transcript FILE] [--path DIR]...
//   patchhost render IN... -o OUT.png|DIR/ [options]   (see render.cpp)
//   patchhost serve [PATCH.maxpat | SOUND_FILE] [--port N] [--host ADDR]   (see serve_main.cpp)
//   patchhost classes NAME... [--path DIR]...   (see classes.cpp)
//
// Loads the patch into the stand-in host, fires loadbang, runs the script
// (pumping the event queue after every command) and writes a transcript of
// everything the patch did as JSON lines.  Exit status: 0 done, 1 bad
// command line or unwritable transcript, 2 unreadable patch, 3 script error.
#include "patchhost.h"
#include "serve.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace {

struct Options {
    std::string patch;
    std::string script;     // empty: none; "-": standard input
    std::string transcript; // empty: standard output
    std::vector<std::string> paths;
};

void usage()
{
    fprintf(stderr, "usage: patchhost run PATCH.maxpat [--script FILE|-] [--transcript FILE] [--path DIR]...\n"
#ifndef PATCHHOST_RUNNER_ONLY
                    "       patchhost render IN... -o OUT.png|DIR/ [options] [@attribute value...]\n"
                    "                        (patchhost render --help lists them)\n"
                    "       patchhost serve [PATCH.maxpat | SOUND_FILE] [--port N] [--host ADDR]\n"
#endif
                    "       patchhost classes NAME... [--path DIR]...\n");
}

bool parse_options(int argc, char **argv, Options *o)
{
    if (argc < 3 || std::string(argv[1]) != "run")
        return false;
    for (int i = 2; i < argc; i++) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--script" && has_value)
            o->script = argv[++i];
        else if (a == "--transcript" && has_value)
            o->transcript = argv[++i];
        else if (a == "--path" && has_value)
            o->paths.push_back(argv[++i]);
        else if (a.rfind("--", 0) != 0 && o->patch.empty())
            o->patch = a;
        else
            return false;
    }
    return !o->patch.empty();
}

int run_script(patchhost::Runner &r, const std::string &script)
{
    if (script == "-")
        return patchhost::script_run(r, std::cin, "<stdin>");
    std::error_code ec;
    if (std::filesystem::is_directory(script, ec)) {
        fprintf(stderr, "patchhost: the script %s is a folder, not a file\n", script.c_str());
        return 3;
    }
    std::ifstream in(script);
    if (!in) {
        fprintf(stderr, "patchhost: cannot open the script %s: %s\n", script.c_str(), std::strerror(errno));
        return 3;
    }
    return patchhost::script_run(r, in, script);
}

int run(const Options &o, patchhost::Transcript &t)
{
    for (const std::string &p : o.paths)
        maxhost::add_search_path(p);
    patchhost::transcript_install_hooks(t);
    std::string err;
    t_object *patcher = patchhost::patch_load(o.patch, &err);
    if (!patcher) {
        patchhost::transcript_uninstall_hooks();
        fprintf(stderr, "patchhost: %s\n", err.c_str());
        return 2;
    }
    patchhost::patch_loadbang(patcher);
    maxhost::pump();
    patchhost::Runner r;
    r.patcher = patcher;
    r.transcript = &t;
    int status = o.script.empty() ? 0 : run_script(r, o.script);
    // Tearing the patch down is not part of what the script observes.
    patchhost::transcript_uninstall_hooks();
    maxhost::patcher_free(patcher);
    maxhost::pump();
    return status;
}

} // namespace

int main(int argc, char **argv)
{
#ifndef PATCHHOST_RUNNER_ONLY // the Windows build has neither
    if (argc >= 2 && std::string(argv[1]) == "render")
        return patchhost::render_main(argc - 1, argv + 1);
    if (argc >= 2 && std::string(argv[1]) == "serve")
        return patchhost::serve_main(argc - 1, argv + 1);
#endif
    if (argc >= 2 && std::string(argv[1]) == "classes")
        return patchhost::classes_main(argc - 1, argv + 1);
    Options o;
    if (!parse_options(argc, argv, &o)) {
        usage();
        return 1;
    }
    patchhost::Transcript t;
    t.out = stdout;
    if (!o.transcript.empty()) {
        t.out = fopen(o.transcript.c_str(), "w");
        if (!t.out) {
            fprintf(stderr, "patchhost: cannot write the transcript %s\n", o.transcript.c_str());
            return 1;
        }
    }
    int status = run(o, t);
    if (t.out != stdout)
        fclose(t.out);
    return status;
}
