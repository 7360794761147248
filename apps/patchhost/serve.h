// The browser front end of the patch runner (`patchhost serve`): a small
// HTTP server that shows a patch's boxes in a web page and lets a person
// use them with the mouse, the menus and dialogs, an inspector and a
// console.
//
// Threads.  The host is single-threaded: every host call happens on the
// main thread, which waits for work (the host's wakeup hook) and pumps the
// event queue.  The HTTP server runs on its own threads; a handler that needs
// the host hands a function to the main thread (serve_main_call) and waits
// for its result.  What the page reads often (pictures, outlet values,
// console lines, the pending menu or dialog) is copied by the host's hooks
// into the Session under its mutex, so those requests never wait for the
// main thread.  While a menu or dialog is open the main thread blocks inside
// the UI driver until the page answers, and the page keeps being served.
//
// Rule: never call into the host while holding Session::m.
#pragma once

#include "patchhost.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace patchhost {

// `patchhost serve ...` (argv[0] is "serve").  Returns the exit status.
int serve_main(int argc, char **argv);
// Whether SIGINT or SIGTERM asked the server to stop.  Any thread.
bool serve_stop_requested();

namespace serve {

using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------- options

struct Options {
    std::string input;            // a .maxpat, a sound file, or empty (the demo patch)
    std::string host = "127.0.0.1";
    int port = 8080;              // 0: any free port
    std::string web_dir;          // serve the page from this folder instead of the built-in copy
    std::vector<std::string> paths; // extra plug-in folders
    int dialog_timeout_s = 600;   // a menu or dialog left unanswered this long is cancelled
};

// ---------------------------------------------------------------- session

// A box as the page sees it; built once on the main thread after loading.
struct BoxInfo {
    t_object *box = nullptr;  // borrowed from the patcher
    std::string ref;          // patch id, else varname, else "box-N"
    std::string classname;
    std::string varname;
    std::string text;         // object boxes: the box text ("buffer~ demo demo.wav")
    bool ui = false;          // paints: shown as a picture
    t_rect rect{0, 0, 0, 0};
    long inlets = 0, outlets = 0;
    std::string buffer_name;  // buffer~ boxes: the name they bind
};

// The latest picture of a UI box and its PNG, encoded on demand.  The
// image is shared, never changed: a new paint stores a new one, so readers
// keep theirs without copying under the lock.
struct Picture {
    std::shared_ptr<const maxhost::Image> image;
    uint64_t version = 0;
    std::string png;          // encoding of `png_version`, empty until asked for
    uint64_t png_version = 0;
};

// The menu or dialog the host is waiting on, if any.
struct UiRequest {
    uint64_t id = 0;
    bool open = false;
    bool answered = false;
    Json request;             // {"kind": "menu"|"dialog"|"save", ...}
    Json answer;
};

// A page that polls (one per browser tab, named by the page).
struct PageState {
    int polls_active = 0;
    Clock::time_point last_poll_end = Clock::now();
    bool gone = false;        // said goodbye
};

struct Session {
    Options options;

    // Main thread only.
    t_object *patcher = nullptr;
    std::vector<BoxInfo> boxes;
    std::string patch_name;
    bool sound_layout = false; // the patch was made around a sound file
    std::string temp_dir;
    // The one folder the editor's files live in: uploaded sounds, and
    // everything the patch writes (host file access is confined to it).
    std::string uploads_dir, downloads_dir;

    // Written before the server starts, then read-only.
    std::string token; // the page's secret, given to it in a cookie
    int port = 0;      // the port the server listens on

    // Shared with the HTTP threads, under `m`.
    std::mutex m;
    std::condition_variable changed;  // signalled on every change of `seq` and on UI answers
    uint64_t seq = 0;                 // bumped by every change the page may want to see
    std::map<std::string, Picture> pictures;
    std::map<std::string, long> cursors;
    std::map<std::string, std::map<long, Json>> outlets; // box ref -> outlet -> {"sel", "args"}
    std::deque<std::pair<uint64_t, Json>> events;       // console lines and downloads, by seq
    uint64_t attrs_version = 0;       // bumped after actions that may change attributes
    UiRequest ui;
    std::map<std::string, PageState> pages;
    std::vector<std::string> pending_downloads; // save-dialog answers not yet written
    std::atomic<bool> stopping{false};
    std::map<t_object *, std::string> ref_of; // written before the server starts, then read-only
};

// ---------------------------------------------------------------- session state (serve_session.cpp)

// Bumps seq and wakes waiters; the caller holds s.m.
void bump_locked(Session &s);
// Appends an event ({"type": ...}) for the page; any thread, takes s.m.
void push_event(Session &s, Json event);
// Installs the host hooks that feed the session (redraw, outlets, console,
// cursor) and the web UI driver.  Main thread.
void install_hooks(Session &s);
void uninstall_hooks();
// Copies the current pictures of all UI boxes (painting those that have
// none yet).  Main thread.
void capture_pictures(Session &s);
// Publishes downloads whose files now exist.  Main thread, after pumping.
void flush_downloads(Session &s);
// The long-poll answer: everything changed since `since`; waits up to
// `hold` for a change when nothing did.  HTTP threads.
Json poll(Session &s, const std::string &page, uint64_t since, std::chrono::milliseconds hold);
// What the page sees now, as a poll answers it: seq, attrs_version, every
// picture's version and size, cursors, outlets, the events after `since`
// and the open menu or dialog.  The caller holds s.m.
Json state_json_locked(Session &s, uint64_t since);
// Records the page's answer to UI request `id`; false when that request is
// no longer open.  HTTP threads.
bool answer_ui(Session &s, uint64_t id, const Json &answer);
// The page says it is going away: an open menu or dialog is cancelled
// unless another page is open.
void page_gone(Session &s, const std::string &page);
// The PNG of a box's latest picture and its version; false when the box has
// no picture.  HTTP threads (encodes outside the lock, caches the result).
bool picture_png(Session &s, const std::string &ref, std::string *png, uint64_t *version);

// ---------------------------------------------------------------- the page's stream (serve_stream.cpp)

// One page's stream: registered as the page's poll while it lives, it
// turns each change of the Session into a frame holding only what the page
// does not have yet (the frame layout is described in serve_stream.cpp).
// One HTTP thread uses it.
class PageStream {
public:
    // The first frame holds the events after `since` (the page's seq when it
    // opens the stream again after losing it) and every picture whole.
    PageStream(Session &s, std::string page, uint64_t since);
    ~PageStream();
    PageStream(const PageStream &) = delete;
    PageStream &operator=(const PageStream &) = delete;
    // Waits up to `hold` for a change and sets *frame to the next frame (an
    // empty one when nothing changed); the first call answers at once.
    // False when the server stops.
    bool next_frame(std::chrono::milliseconds hold, std::string *frame);

private:
    struct Sent {
        uint64_t version = 0;
        std::shared_ptr<const maxhost::Image> image;
    };
    Session &s_;
    std::string page_;
    uint64_t seq_ = 0;
    bool started_ = false;
    std::map<std::string, Sent> sent_; // box ref -> the picture the page has
};

// A console line or error as the page shows it: files in the editor's
// folder named by their names alone, and no words of the code's own.
std::string people_text(const Session &s, std::string text);

// ---------------------------------------------------------------- host actions (serve_api.cpp)

// Runs fn on the main thread and waits for its result; false (and *out
// untouched) when the main thread did not get to it within `timeout` (it
// is then still run later).  HTTP threads.
bool main_call(Session &s, std::function<Json()> fn, Json *out,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(30000));
// Each of these runs on the main thread and returns the JSON answer for the
// page ({"error": ...} when the request cannot be carried out).
void describe_boxes(Session &s);
Json api_patch(Session &s);
Json api_attrs(Session &s, const std::string &ref);
Json api_attr_set(Session &s, const Json &body);
Json api_send(Session &s, const Json &body);
Json api_mouse(Session &s, const Json &body);
Json api_buffers(Session &s);
// Resizes a UI box ({"box", "width", "height"}), as dragging its corner in Max does.
Json api_resize(Session &s, const Json &body);
// The page's device pixel ratio ({"scale"}): boxes are painted at it.
Json api_scale(Session &s, const Json &body);
Json api_open_sound(Session &s, const std::string &path, const std::string &buffer);
// Writes the buffer~ through its own `write` into the downloads folder;
// *path is the written file.
Json api_save_buffer(Session &s, const std::string &buffer, std::string *path);
// A WAV (16-bit) of a buffer's samples: all of it, or with `box` the
// buffer that spectrogram~ shows, all of it or (`selection`) the time span
// of its selection as its outlets last reported it.
Json api_sound_wav(Session &s, const std::string &buffer, const std::string &box, bool selection,
                   std::string *wav);
// The modifier bits the host passes to mouse handlers for a page event
// ({"shift", "ctrl", "alt", "meta", "button", "buttons"} as the DOM has them).
long mouse_modifiers(const Json &event, maxhost::Mouse kind);

// ---------------------------------------------------------------- encoding (serve_media.cpp)

struct PictureRect {
    int x, y, w, h; // pixels
};
// The rectangles of `now` whose pixels differ from `before`: rows compared
// in bands, the changed columns of a band merged into runs.  The whole
// picture when there is no `before` or its size differs; none when equal.
std::vector<PictureRect> changed_rects(const maxhost::Image *before, const maxhost::Image &now);
// Appends the RGBA rows of rectangle r of the image to *out.
void append_rect_pixels(const maxhost::Image &image, const PictureRect &r, std::string *out);

// Interleaved float samples to a 16-bit PCM WAV file image.
std::string encode_wav(const float *samples, size_t frames, long channels, double sr);
// A file name safe to use inside our folders: the last path component with
// anything outside [A-Za-z0-9._ -] replaced by '_'; `fallback` if empty.
std::string safe_file_name(const std::string &name, const std::string &fallback);

// ---------------------------------------------------------------- request checks (serve_guard.cpp)

// Why a request may not reach the editor, or "" when it may: a Host that is
// not a loopback or IP address with the server's port (a DNS name other
// than localhost could be rebound to this machine), an /api/ request
// without the page's cookie, or a POST whose Origin is another site's.
std::string request_refusal(const Session &s, const std::string &host, const std::string &origin,
                            const std::string &cookie, const std::string &path, const std::string &method);
// The Set-Cookie value that gives the page its secret.
std::string token_cookie(const Session &s);
// A fresh random secret (hex).
std::string new_token();

// ---------------------------------------------------------------- web page (serve_http.cpp, serve_assets.cpp)

struct Asset {
    const char *path;          // "/index.html"
    const char *content_type;
    const unsigned char *data;
    size_t size;
};
// The page's files, embedded at build time.
extern const Asset assets[];
extern const size_t asset_count;

// Starts the HTTP server on its threads; blocks until it listens or fails.
// Returns the port, or -1 (message on stderr).
int http_start(Session &s);
// Stops the server; pumps the host while waiting so that handlers blocked
// on the main thread finish.  Main thread.
void http_stop(Session &s);

} // namespace serve
} // namespace patchhost
