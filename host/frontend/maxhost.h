// Embedding interface of the stand-in host, for front ends (the patch
// runner, the browser server) and tests.  Plug-ins never see this header:
// they talk to the host through the SDK headers in host/include only.
//
// Threads: everything here is called on the main thread (the thread that
// first called into the host), except where a function says otherwise.
#pragma once

#include "ext.h"
#include "jgraphics.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#define MAXHOST_API // MaxAPI.dll exports every function of the host
#else
#define MAXHOST_API __attribute__((visibility("default")))
#endif

namespace maxhost {

// ---------------------------------------------------------------- console
struct ConsoleLine {
    std::string level;     // "post", "warning" or "error"
    std::string classname; // class of the object that posted, empty for none
    std::string text;
};
using ConsoleSink = std::function<void(const ConsoleLine &)>;
// Replaces the sink (default: print to stderr).  Any thread may post; the
// sink is called under a lock, in order.
MAXHOST_API void set_console_sink(ConsoleSink sink);
// Every line posted since start or the last console_clear (kept for tests).
MAXHOST_API std::vector<ConsoleLine> console_lines();
MAXHOST_API void console_clear();

// ---------------------------------------------------------------- plug-ins
// Adds a folder searched for NAME.mxl_x86_64 (the build's externals folder
// is searched by default, and so is $MAXHOST_PATH, colon-separated).
MAXHOST_API void add_search_path(const std::string &folder);
// Loads a plug-in by class name (searched) or by file path and calls its
// ext_main once.  Loading the same file again does nothing.  False and a
// message in *err when the file is missing or has no ext_main.
MAXHOST_API bool load_external(const std::string &name_or_path, std::string *err = nullptr);
// The class registered under `name` in the box name space, loading the
// plug-in of that name if needed; null if there is none.
MAXHOST_API t_class *find_box_class(const std::string &name);

// ---------------------------------------------------------------- files
// Confines every file name a plug-in or a host object resolves (reads,
// writes, save dialogs) to `folder`: a name becomes the folder plus the
// name's last component, whatever folders it named.  For front ends that
// run messages from someone who must not reach the rest of the disk.  An
// empty folder lifts the confinement.  Any thread.
MAXHOST_API void confine_files(const std::string &folder);

// ---------------------------------------------------------------- patchers
// A patcher with one view.  `folder` is the patch's folder (default folder
// for relative file names); empty means the working directory.
MAXHOST_API t_object *patcher_new(const std::string &folder = "");
// Frees every box (in reverse creation order) and cord, then the patcher.
MAXHOST_API void patcher_free(t_object *patcher);
MAXHOST_API t_object *patcher_view(t_object *patcher);
MAXHOST_API std::string patcher_folder(t_object *patcher);

using Atoms = std::vector<t_atom>;
struct BoxSpec {
    std::string maxclass;             // "newobj" for object boxes, else a UI class name
    std::string text;                 // object boxes: "class arg arg ..."
    t_rect rect{0, 0, 0, 0};          // patching_rect; width/height 0 = class default
    std::string id;                   // the patch file's box id ("obj-1")
    std::string varname;              // optional scripting name
    std::vector<std::pair<std::string, Atoms>> attrs; // saved attributes, in file order
};
// Creates a box in the patcher.  An unknown class gives a placeholder box and
// a console error naming it; a constructor that returns null likewise.
MAXHOST_API t_object *box_new(t_object *patcher, const BoxSpec &spec);
// Deletes a box: its cords first, then the object (listeners get "free").
MAXHOST_API void box_free(t_object *box);
MAXHOST_API std::vector<t_object *> patcher_boxes(t_object *patcher);
MAXHOST_API t_object *find_box(t_object *patcher, const std::string &id_or_varname);
MAXHOST_API std::string box_id(t_object *box);
MAXHOST_API std::string box_varname(t_object *box);
MAXHOST_API std::string box_classname(t_object *box); // class of the object in the box
MAXHOST_API bool box_is_placeholder(t_object *box);
MAXHOST_API bool box_is_ui(t_object *box); // a UI object (has a paint method)
MAXHOST_API t_rect box_rect(t_object *box);
MAXHOST_API void box_set_size(t_object *box, double width, double height);
MAXHOST_API long box_inlet_count(t_object *box);
MAXHOST_API long box_outlet_count(t_object *box);
// The help text the box's object gives for an inlet or outlet (its "assist"
// method), empty when it gives none.
MAXHOST_API std::string box_assist(t_object *box, bool outlet, long index);

// A patch cord from outlet `outlet` of box1 to inlet `inlet` of box2; null
// (and a console error) if either index does not exist.
MAXHOST_API t_object *connect(t_object *patcher, t_object *box1, long outlet, t_object *box2, long inlet);
MAXHOST_API void disconnect(t_object *patcher, t_object *line);

// ---------------------------------------------------------------- messages
// Sends a message to an inlet of a box (or an object), as a cord would.
MAXHOST_API void send(t_object *box, long inlet, t_symbol *selector, long argc, const t_atom *argv);
// Called for every message that leaves any outlet (before delivery).
using OutletHook = std::function<void(t_object *box, long outlet, t_symbol *selector, long argc,
                                      const t_atom *argv)>;
MAXHOST_API void set_outlet_hook(OutletHook hook);
// How many outlet deliveries are under way: 0 for a message sent from
// outside any cord (a mouse event, a front end's send), 1 for one sent while
// another message travels down a cord, and so on.  Read from an outlet hook,
// it tells how deeply a message nests inside others.
MAXHOST_API int delivery_depth();

// ---------------------------------------------------------------- attributes
struct AttrInfo {
    std::string name;
    std::string type;     // "long", "float64", "char", "symbol", ...
    long size = 1;        // element count (4 for rgba)
    std::string category; // from the sticky category or CLASS_ATTR_CATEGORY
    std::string label;
    std::string style;    // "text", "onoff", "rgba", "enumindex", "enum", ...
    std::vector<std::string> enumvals;
    bool save = false;
    bool paint = false;
    Atoms default_value;  // "default" or "defaultname" property
    bool has_min = false, has_max = false; // a clip filter on the incoming value
    double min = 0, max = 0;
};
// The attributes of an object's class, in registration order.
MAXHOST_API std::vector<AttrInfo> attributes_of(t_object *object);
MAXHOST_API bool attr_get(t_object *object, const std::string &name, Atoms *value);
// Sets through the attribute's setter (filters apply, listeners notified).
MAXHOST_API bool attr_set(t_object *object, const std::string &name, const Atoms &value);
// An attribute property (e.g. "label") of a class attribute, empty if none.
MAXHOST_API Atoms attr_property(t_object *object, const std::string &attr, const std::string &property);

// ---------------------------------------------------------------- methods
struct MethodInfo {
    std::string name;
    std::vector<long> types; // A_LONG, A_FLOAT, A_SYM, A_GIMME, A_CANT, ... as registered
};
// The methods registered for a class (class_addmethod), sorted by name.
MAXHOST_API std::vector<MethodInfo> methods_of(t_class *c);

// ---------------------------------------------------------------- mouse
enum class Mouse { enter, move, down, drag, up, leave, doubleclick };
// Calls the box's mouse callback with a position relative to the box.
MAXHOST_API void mouse(t_object *box, Mouse kind, double x, double y, long modifiers);
// Calls the box's mousewheel callback: dx, dy as Max passes them (positive
// dy: the wheel turned up, away from the user; positive dx: to the right).
MAXHOST_API void mouse_wheel(t_object *box, double x, double y, double dx, double dy, long modifiers);
// The cursor last set over a box (JMOUSE_CURSOR_*), -1 if none yet.
MAXHOST_API long box_cursor(t_object *box);
using CursorHook = std::function<void(t_object *box, long cursor)>;
MAXHOST_API void set_cursor_hook(CursorHook hook);

// ---------------------------------------------------------------- painting
// A picture: width x height pixels, straight (not premultiplied) RGBA bytes.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};
// Paints a UI box now, at its current size, and returns its picture.
MAXHOST_API bool paint_box(t_object *box, Image *out);
// The screen's pixels per point for the pictures of paint_box and the
// scheduled repaints (1 to 4; 1 by default), as on a HiDPI screen: the box
// draws in points into a context scaled by it, and so do its layers.
// Repaints every UI box whose scale changes.  Main thread.
MAXHOST_API void set_paint_scale(double scale);
MAXHOST_API double paint_scale();
// The picture of the box's last scheduled repaint (empty before any).
MAXHOST_API bool last_picture(t_object *box, Image *out);
// Called after a scheduled repaint (jbox_redraw) has painted a box.
using RedrawHook = std::function<void(t_object *box)>;
MAXHOST_API void set_redraw_hook(RedrawHook hook);
MAXHOST_API bool write_png(const Image &image, const std::string &path, long dpi = 72);
// The same picture as PNG bytes in memory (no pHYs chunk when dpi <= 0).
MAXHOST_API bool encode_png(const Image &image, std::string *bytes, long dpi = 0);

// ---------------------------------------------------------------- events
// Runs queued main-thread events (deferred calls, repaints, buffer
// notifications) until the queue is empty.  Returns the number run.
MAXHOST_API long pump();
// Runs at most one event; false when the queue was empty.
MAXHOST_API bool pump_one();
MAXHOST_API bool queue_empty();
// Queues a call to run on the main thread at the next pump (any thread).
MAXHOST_API void queue_call(std::function<void()> fn);
// Wakes a front end waiting for events (any thread may queue); the hook is
// called from the thread that queued.
MAXHOST_API void set_wakeup_hook(std::function<void()> hook);

// ---------------------------------------------------------------- user interface
struct MenuItem {
    int id = 0;
    std::string text;
    bool checked = false;
    bool disabled = false;
    bool separator = false;
};
// What a front end implements to show menus and dialogs.  Each call is modal:
// the host waits for the answer.
class UiDriver {
public:
    virtual ~UiDriver() = default;
    // Returns the chosen item id, or 0 for no choice.
    virtual int popup_menu(const std::vector<MenuItem> &items, long screen_x, long screen_y) = 0;
    // Returns true and the text when confirmed, false when cancelled.
    virtual bool text_dialog(const std::string &prompt, const std::string &default_text, std::string *text) = 0;
    // Returns true and a full file path when confirmed, false when cancelled.
    virtual bool save_dialog(const std::string &default_name, std::string *path) = 0;
};
// The driver used from now on (not owned); null restores the scripted one.
MAXHOST_API void set_ui_driver(UiDriver *driver);

// A driver whose answers are queued in advance; an unanswered menu or dialog
// is cancelled.  Every request is recorded.
class MAXHOST_API ScriptedDriver : public UiDriver {
public:
    struct Record {
        std::string kind;              // "menu", "dialog", "save"
        std::vector<MenuItem> items;   // menu
        std::string prompt, default_text; // dialog; save: default_text is the default name
        bool answered = false;
        int menu_answer = 0;
        std::string text_answer;
    };
    void queue_menu(int id) { menu_.push_back(id); }
    void queue_menu_text(const std::string &text) { menu_text_.push_back(text); menu_.push_back(-1); }
    void queue_menu_none() { menu_.push_back(0); }
    void queue_dialog(const std::string &text) { dialog_.push_back({true, text}); }
    void queue_dialog_cancel() { dialog_.push_back({false, ""}); }
    void queue_save(const std::string &path) { save_.push_back({true, path}); }
    void queue_save_cancel() { save_.push_back({false, ""}); }
    std::vector<Record> records;
    std::function<void(const Record &)> on_record;

    int popup_menu(const std::vector<MenuItem> &items, long sx, long sy) override;
    bool text_dialog(const std::string &prompt, const std::string &def, std::string *text) override;
    bool save_dialog(const std::string &default_name, std::string *path) override;

private:
    std::vector<int> menu_;
    std::vector<std::string> menu_text_;
    std::vector<std::pair<bool, std::string>> dialog_, save_;
};
// The built-in scripted driver (used when no other driver is set).
MAXHOST_API ScriptedDriver &scripted_driver();

// ---------------------------------------------------------------- threads
// With serial on, parallel tasks run their workers inline one after another.
// Also set by the environment variable MAXHOST_SERIAL=1.
MAXHOST_API void set_serial_workers(bool serial);

// ---------------------------------------------------------------- buffers
// The host's buffer~ class ("buffer~ NAME [FILE]" or "buffer~ NAME
// [DURATION_MS [CHANNELS]]") is registered when the library loads; make one
// with box_new and send it read, write, sizeinsamps, size, sr or clear.
// Its notifications to buffer references run from the event queue (pump).

// Looks up the buffer~ object bound to a name (null if none).
MAXHOST_API t_object *find_buffer(const std::string &name);
// Frame count, channel count and sample rate of the buffer~ bound to a name;
// false (outputs untouched) when no buffer~ has the name.  Outputs may be null.
MAXHOST_API bool buffer_info(const std::string &name, long *frames, long *channels, double *sr);
// Copies that buffer~'s samples, interleaved by frame (frames * channels
// floats), into *interleaved; false when no buffer~ has the name.
MAXHOST_API bool buffer_samples(const std::string &name, std::vector<float> *interleaved);
// Sample locks held on that buffer~ right now (0 when none or no buffer~):
// lets tests check that every buffer_locksamples was paired with an unlock.
MAXHOST_API long buffer_lock_count(const std::string &name);

} // namespace maxhost
