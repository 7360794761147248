// `patchhost serve`: opens a patch (or a sound, in the demo's layout) in the
// stand-in host and serves it as a web page.
//
//   patchhost serve [PATCH.maxpat | SOUND_FILE] [--port N] [--host ADDR]
//                   [--path DIR]... [--web DIR] [--dialog-timeout SECONDS]
//
// Without an argument the bundled demo patch opens.  The server listens on
// 127.0.0.1:8080 unless told otherwise (--port 0 takes any free port) and
// prints its address on standard output.  The main thread owns the host: it
// sleeps until the host's queue has work (set_wakeup_hook), pumps it, and
// goes back to sleep; SIGINT or SIGTERM end the loop.  Exit status: 0 after
// a signal, 1 bad command line or no port, 2 unreadable patch or sound.
#include "serve.h"

#include <sndfile.h>

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace patchhost {

namespace {

volatile std::sig_atomic_t stop_requested = 0;

// The first signal stops the server cleanly; a second one ends it at once.
void on_signal(int)
{
    if (stop_requested)
        _exit(130);
    stop_requested = 1;
}

void usage()
{
    fprintf(stderr, "usage: patchhost serve [PATCH.maxpat | SOUND_FILE] [--port N] [--host ADDR]\n"
                    "                       [--path DIR]... [--web DIR] [--dialog-timeout SECONDS]\n");
}

bool parse_int(const char *text, int lo, int hi, int *out)
{
    char *end = nullptr;
    long v = strtol(text, &end, 10);
    if (!end || *end || v < lo || v > hi)
        return false;
    *out = (int)v;
    return true;
}

bool parse_options(int argc, char **argv, serve::Options *o)
{
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--port" && has_value) {
            if (!parse_int(argv[++i], 0, 65535, &o->port))
                return false;
        } else if (a == "--host" && has_value) {
            o->host = argv[++i];
        } else if (a == "--path" && has_value) {
            o->paths.push_back(argv[++i]);
        } else if (a == "--web" && has_value) {
            o->web_dir = argv[++i];
        } else if (a == "--dialog-timeout" && has_value) {
            if (!parse_int(argv[++i], 1, 86400, &o->dialog_timeout_s))
                return false;
        } else if (a.rfind("--", 0) != 0 && o->input.empty()) {
            o->input = a;
        } else {
            return false;
        }
    }
    return true;
}

bool is_patch_file(const std::string &path)
{
    std::string ext = fs::path(path).extension().string();
    for (char &c : ext)
        c = (char)tolower((unsigned char)c);
    return ext == ".maxpat" || ext == ".json";
}

std::string quote_word(const std::string &text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

Json box_json(const char *id, const char *maxclass, const char *varname, Json rect)
{
    return {{"box", {{"id", id}, {"maxclass", maxclass}, {"varname", varname}, {"patching_rect", rect}}}};
}

// The demo's layout around a sound file: a buffer~ reading it, a view per
// channel (at most two, linked both ways) and a colour bar patched into the
// first.  Written into `folder`; returns the patch's path, or empty and *err.
std::string sound_patch(const std::string &sound, const std::string &folder, std::string *err)
{
    std::error_code ec;
    std::string path = fs::absolute(sound, ec).string();
    SF_INFO info{};
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) {
        *err = sound + ": " + sf_strerror(nullptr);
        return std::string();
    }
    sf_close(f);
    int views = info.channels >= 2 ? 2 : 1;
    Json boxes = Json::array(), lines = Json::array();
    Json buffer = box_json("obj-1", "newobj", "buffer", {30, 10, 320, 22});
    buffer["box"]["text"] = "buffer~ sound " + quote_word(path);
    boxes.push_back(buffer);
    const char *names[] = {"left", "right"};
    for (int v = 0; v < views; v++) {
        std::string id = "obj-" + std::to_string(v + 2);
        Json view = box_json(id.c_str(), "spectrogram~", views == 1 ? "view" : names[v],
                             {30, 40 + 260 * v, 640, 240});
        view["box"]["buffer_name"] = "sound";
        view["box"]["buffer_chan"] = v + 1;
        view["box"]["mag_min"] = -90.0;
        view["box"]["mag_max"] = 0.0;
        boxes.push_back(view);
    }
    boxes.push_back(box_json("obj-9", "gradix", "bar", {680, 40, 40, 240}));
    if (views == 2) {
        lines.push_back({{"patchline", {{"source", {"obj-2", 8}}, {"destination", {"obj-3", 8}}}}});
        lines.push_back({{"patchline", {{"source", {"obj-3", 8}}, {"destination", {"obj-2", 8}}}}});
    }
    lines.push_back({{"patchline", {{"source", {"obj-9", 0}}, {"destination", {"obj-2", 0}}}}});
    Json doc = {{"patcher", {{"fileversion", 1}, {"boxes", boxes}, {"lines", lines}}}};
    std::string out = (fs::path(folder) / (fs::path(sound).stem().string() + ".maxpat")).string();
    std::ofstream file(out);
    file << doc.dump(2) << "\n";
    if (!file) {
        *err = "cannot write " + out;
        return std::string();
    }
    return out;
}

// The patch to open: the argument, a patch made around a sound, or the demo.
std::string patch_to_open(const serve::Session &s, std::string *err)
{
    const std::string &in = s.options.input;
    if (in.empty()) {
        std::error_code ec;
        if (fs::is_regular_file("examples/demo.maxpat", ec))
            return "examples/demo.maxpat";
        return PATCHHOST_DEMO_PATCH;
    }
    if (is_patch_file(in))
        return in;
    return sound_patch(in, s.temp_dir, err);
}

// Box texts are not kept by the host: the page shows object boxes with the
// text the patch file gives them.
void read_box_texts(serve::Session &s, const std::string &patch)
{
    Json doc;
    std::string err;
    if (!json_read_file(patch, &doc, &err) || !doc.is_object())
        return;
    Json boxes = doc.value("patcher", Json::object()).value("boxes", Json::array());
    std::map<std::string, std::string> texts;
    for (const Json &entry : boxes) {
        const Json box = entry.is_object() ? entry.value("box", Json()) : Json();
        if (box.is_object() && box.value("id", Json()).is_string() && box.value("text", Json()).is_string())
            texts[box["id"].get<std::string>()] = box["text"].get<std::string>();
    }
    for (serve::BoxInfo &b : s.boxes) {
        auto it = texts.find(maxhost::box_id(b.box));
        if (it != texts.end())
            b.text = it->second;
        if (b.classname != "buffer~")
            continue;
        std::vector<Word> words;
        try {
            words = script_split(b.text);
        } catch (const ScriptError &) {
        }
        if (words.size() >= 2 && maxhost::find_buffer(words[1].text) == jbox_get_object(b.box))
            b.buffer_name = words[1].text;
    }
}

bool make_temp_dirs(serve::Session &s)
{
    std::string tmpl = (fs::temp_directory_path() / "patchhost-serve-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        return false;
    s.temp_dir = tmpl;
    s.uploads_dir = s.downloads_dir = (fs::path(tmpl) / "files").string();
    std::error_code ec;
    return fs::create_directory(s.downloads_dir, ec);
}

// Sleeps until the host has work, runs it, and again, until a signal.
void main_loop(serve::Session &s)
{
    std::mutex m;
    std::condition_variable cv;
    bool woken = false;
    maxhost::set_wakeup_hook([&] {
        std::lock_guard<std::mutex> guard(m);
        woken = true;
        cv.notify_one();
    });
    while (!stop_requested) {
        maxhost::pump();
        serve::flush_downloads(s);
        std::unique_lock<std::mutex> lk(m);
        cv.wait_for(lk, std::chrono::milliseconds(200), [&] { return woken; });
        woken = false;
    }
    serve::http_stop(s);
    maxhost::set_wakeup_hook(nullptr);
}

int run(serve::Session &s)
{
    std::string err;
    std::string patch = patch_to_open(s, &err);
    if (patch.empty()) {
        fprintf(stderr, "patchhost: %s\n", err.c_str());
        return 2;
    }
    serve::install_hooks(s);
    s.patcher = patch_load(patch, &err);
    if (!s.patcher) {
        serve::uninstall_hooks();
        fprintf(stderr, "patchhost: %s\n", err.c_str());
        return 2;
    }
    // A sound opened on its own is named by its file, not by the made-up patch.
    s.patch_name = fs::path(s.options.input.empty() || is_patch_file(s.options.input) ? patch : s.options.input)
                       .filename()
                       .string();
    serve::describe_boxes(s);
    read_box_texts(s, patch);
    // The made-up patch reads the sound by its full path; the box shows its name.
    s.sound_layout = !s.options.input.empty() && !is_patch_file(s.options.input);
    if (s.sound_layout)
        for (serve::BoxInfo &b : s.boxes)
            if (!b.buffer_name.empty())
                b.text = "buffer~ " + b.buffer_name + " " + s.patch_name;
    patch_loadbang(s.patcher);
    maxhost::pump();
    serve::capture_pictures(s);
    // From here on files come from the page: whatever a message names, it is
    // read from and written to the editor's own folder.
    maxhost::confine_files(s.downloads_dir);
    s.token = serve::new_token();
    int port = serve::http_start(s);
    int status = 1;
    if (port > 0) {
        printf("patchhost serve: %s at http://%s:%d/\n", s.patch_name.c_str(), s.options.host.c_str(), port);
        fflush(stdout);
        main_loop(s);
        status = 0;
    }
    serve::uninstall_hooks();
    maxhost::patcher_free(s.patcher);
    maxhost::pump();
    maxhost::confine_files("");
    return status;
}

} // namespace

bool serve_stop_requested() { return stop_requested != 0; }

int serve_main(int argc, char **argv)
{
    serve::Session s;
    if (!parse_options(argc, argv, &s.options)) {
        usage();
        return 1;
    }
    if (!make_temp_dirs(s)) {
        fprintf(stderr, "patchhost: cannot make a temporary folder\n");
        return 1;
    }
    for (const std::string &p : s.options.paths)
        maxhost::add_search_path(p);
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::signal(SIGPIPE, SIG_IGN); // a page closing mid-answer is not fatal
    int status = run(s);
    std::error_code ec;
    fs::remove_all(s.temp_dir, ec);
    return status;
}

} // namespace patchhost
