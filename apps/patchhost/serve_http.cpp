// The HTTP side of `patchhost serve`: cpp-httplib on its own thread pool,
// serving the page's files and a small JSON API.  Handlers that need the
// host go through main_call (the main thread runs them); the long poll,
// pictures, menu answers and downloads are answered from the Session alone,
// so they keep working while the main thread waits in a menu or dialog.
//
//   GET  /api/patch                 boxes, rectangles, cords
//   GET  /api/stream?page=P[&since=N]  the page's stream: every change as it happens,
//                                   pictures as the rectangles that changed, events after N
//   GET  /api/poll?since=N&page=P   changes since N (held up to 4 s)
//   POST /api/bye?page=P            the page is closing
//   GET  /api/picture/REF           the box's latest picture as PNG; X-Version
//   GET  /api/attrs/REF             attributes with categories, labels, styles, values
//   POST /api/attr                  {"box","name","value"}
//   POST /api/send                  {"box","inlet","message","args"}
//   POST /api/mouse                 {"box","kind","x","y","shift","ctrl","alt","meta","button","buttons"}
//                                   (kind enter, move, down, drag, up, leave or doubleclick)
//                                   (kind "wheel" with "dx","dy": wheel steps, up and right positive)
//   POST /api/resize                {"box","width","height"}: a UI box's new size
//   POST /api/scale                 {"scale"}: the screen's pixels per point
//   POST /api/ui                    {"id", answer...}: answers the open menu or dialog
//   GET  /api/buffers               every buffer~: frames, channels, rate, per-channel hashes
//   POST /api/open?name=F[&buffer=B]   body: a sound file, read into the buffer~
//   GET  /api/buffer.wav[?buffer=B]     the buffer~ written by itself, as a download
//   GET  /api/sound.wav?buffer=B | ?box=R[&span=selection]
//                                   to play: a buffer, a view's buffer or its selection's span
//   GET  /api/download/NAME         a file a save dialog wrote
#include "serve.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace patchhost {
namespace serve {

namespace {

std::unique_ptr<httplib::Server> server;
std::thread listener;
std::atomic<bool> listener_done{false};

const auto poll_hold = std::chrono::milliseconds(4000);
const auto stream_heartbeat = std::chrono::milliseconds(1000);

// The server's threads, with a bound on the connections it holds: at most
// `threads` being served and `waiting` accepted but not yet served.  When
// both are taken the listening thread waits before accepting more, so
// further connections wait in the system's backlog instead of piling up
// open sockets in the server (a flood of idle connections costs threads
// until their read timeout, never unbounded memory or descriptors).
class connection_pool : public httplib::TaskQueue
{
public:
    connection_pool(size_t threads, size_t waiting) : waiting_max_(waiting)
    {
        for (size_t i = 0; i < threads; i++)
            threads_.emplace_back([this] { work(); });
    }

    void enqueue(std::function<void()> fn) override
    {
        std::unique_lock<std::mutex> lock(m_);
        room_.wait(lock, [&] { return jobs_.size() < waiting_max_ || open_; });
        jobs_.push_back(std::move(fn));
        ready_.notify_one();
    }

    // Lets enqueue take every connection again, so that a listening thread
    // waiting for room sees the server stop.
    void open_gate()
    {
        std::lock_guard<std::mutex> lock(m_);
        open_ = true;
        room_.notify_all();
    }

    void shutdown() override
    {
        {
            std::lock_guard<std::mutex> lock(m_);
            stopping_ = true;
        }
        ready_.notify_all();
        for (std::thread &t : threads_)
            t.join();
    }

private:
    void work()
    {
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> lock(m_);
                ready_.wait(lock, [&] { return !jobs_.empty() || stopping_; });
                if (jobs_.empty())
                    return;
                fn = std::move(jobs_.front());
                jobs_.pop_front();
                room_.notify_one();
            }
            fn();
        }
    }

    const size_t waiting_max_;
    std::mutex m_;
    std::condition_variable ready_, room_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> threads_;
    bool open_ = false, stopping_ = false;
};

// The running server's pool (owned by the server, alive while it listens).
std::atomic<connection_pool *> pool{nullptr};

// Sends a JSON answer: status 400 for an {"error"} object unless `status` says otherwise.
void send_json(httplib::Response &res, const Json &j, int status = 0)
{
    res.status = status ? status : (j.is_object() && j.contains("error")) ? 400 : 200;
    res.set_header("Cache-Control", "no-store");
    // With the charset named, httplib leaves the answer uncompressed: the
    // page's answers are small, and compressing each one (brotli, for a
    // browser) cost more time than it saved on the loopback.
    res.set_content(j.dump(-1, ' ', false, Json::error_handler_t::replace), "application/json; charset=utf-8");
}

// Runs fn on the main thread and sends its answer; 503 when the main thread
// is held up for longer than `wait` (a menu or dialog waits for an answer).
void main_json(Session &s, httplib::Response &res, std::function<Json()> fn,
               std::chrono::milliseconds wait = std::chrono::milliseconds(30000))
{
    Json out;
    if (!main_call(s, std::move(fn), &out, wait)) {
        send_json(res, {{"error", "the patch is busy"}}, 503);
        return;
    }
    send_json(res, out);
}

// The page's JSON requests are small; a larger one is not the page's.
const size_t max_json_body = (size_t)1 << 20;

bool body_json(const httplib::Request &req, httplib::Response &res, Json *out)
{
    // A page on another site can POST text/plain without asking first; the
    // editor's page always says application/json.
    if (req.get_header_value("Content-Type").compare(0, 16, "application/json") != 0) {
        send_json(res, {{"error", "the request body must be sent as application/json"}}, 415);
        return false;
    }
    if (req.body.size() > max_json_body || json_depth(req.body, json_max_depth) > json_max_depth) {
        send_json(res, {{"error", "the request body is too large or nests too deep"}}, 413);
        return false;
    }
    *out = Json::parse(req.body, nullptr, false);
    if (out->is_discarded() || !out->is_object()) {
        send_json(res, {{"error", "the request body is not a JSON object"}});
        return false;
    }
    return true;
}

std::string param(const httplib::Request &req, const char *key)
{
    return req.has_param(key) ? req.get_param_value(key) : std::string();
}

bool read_file(const std::string &path, std::string *out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buf;
    buf << in.rdbuf();
    *out = buf.str();
    return true;
}

const char *content_type(const std::string &path)
{
    auto ends = [&](const char *ext) {
        size_t n = strlen(ext);
        return path.size() >= n && path.compare(path.size() - n, n, ext) == 0;
    };
    if (ends(".html"))
        return "text/html; charset=utf-8";
    if (ends(".css"))
        return "text/css; charset=utf-8";
    if (ends(".js"))
        return "text/javascript; charset=utf-8";
    if (ends(".png"))
        return "image/png";
    if (ends(".wav"))
        return "audio/wav";
    if (ends(".svg"))
        return "image/svg+xml";
    return "application/octet-stream";
}

void serve_asset(Session &s, const std::string &path, httplib::Response &res)
{
    res.set_header("Cache-Control", "no-cache");
    res.set_header("Set-Cookie", token_cookie(s)); // the page's secret for its API requests
    if (!s.options.web_dir.empty()) {
        std::string body;
        if (path.find("..") == std::string::npos && read_file(s.options.web_dir + path, &body)) {
            res.set_content(body, content_type(path));
            return;
        }
    } else {
        for (size_t i = 0; i < asset_count; i++)
            if (path == assets[i].path) {
                res.set_content(reinterpret_cast<const char *>(assets[i].data), assets[i].size, assets[i].content_type);
                return;
            }
    }
    res.status = 404;
    res.set_content("not found", "text/plain");
}

void send_file(httplib::Response &res, const std::string &path, const std::string &name, bool attachment)
{
    std::string body;
    if (!read_file(path, &body)) {
        send_json(res, {{"error", "no file " + name}}, 404);
        return;
    }
    if (attachment)
        res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
    res.set_header("Cache-Control", "no-store");
    res.set_content(body, content_type(name));
}

// The page's stream of changes (serve_stream.cpp), frame by frame until
// the page goes away or the server stops.
void send_stream(Session &s, const std::string &page, uint64_t since, httplib::Response &res)
{
    auto stream = std::make_shared<PageStream>(s, page, since);
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_chunked_content_provider("application/octet-stream", [stream](size_t, httplib::DataSink &sink) {
        std::string frame;
        return stream->next_frame(stream_heartbeat, &frame) && sink.write(frame.data(), frame.size());
    });
}

void add_page_routes(Session &s, httplib::Server &svr)
{
    svr.Get("/", [&s](const httplib::Request &, httplib::Response &res) { serve_asset(s, "/index.html", res); });
    svr.Get(R"(/([a-z]+\.(html|css|js)))", [&s](const httplib::Request &req, httplib::Response &res) {
        serve_asset(s, "/" + req.matches[1].str(), res);
    });
    svr.Get("/api/patch", [&s](const httplib::Request &, httplib::Response &res) {
        main_json(s, res, [&s] { return api_patch(s); });
    });
    svr.Get("/api/poll", [&s](const httplib::Request &req, httplib::Response &res) {
        uint64_t since = strtoull(param(req, "since").c_str(), nullptr, 10);
        send_json(res, poll(s, param(req, "page"), since, poll_hold));
    });
    svr.Post("/api/bye", [&s](const httplib::Request &req, httplib::Response &res) {
        page_gone(s, param(req, "page"));
        send_json(res, {{"ok", true}});
    });
    svr.Get("/api/stream", [&s](const httplib::Request &req, httplib::Response &res) {
        send_stream(s, param(req, "page"), strtoull(param(req, "since").c_str(), nullptr, 10), res);
    });
    svr.Get(R"(/api/picture/(.+))", [&s](const httplib::Request &req, httplib::Response &res) {
        std::string png;
        uint64_t version = 0;
        if (!picture_png(s, req.matches[1].str(), &png, &version)) {
            send_json(res, {{"error", "no picture"}}, 404);
            return;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_header("X-Version", std::to_string(version));
        res.set_content(png, "image/png");
    });
    svr.Post("/api/ui", [&s](const httplib::Request &req, httplib::Response &res) {
        Json body;
        if (!body_json(req, res, &body))
            return;
        const Json id = body.value("id", Json());
        bool ok = id.is_number_unsigned() && answer_ui(s, id.get<uint64_t>(), body);
        send_json(res, {{"ok", ok}}, ok ? 200 : 409);
    });
}

void add_host_routes(Session &s, httplib::Server &svr)
{
    svr.Get(R"(/api/attrs/(.+))", [&s](const httplib::Request &req, httplib::Response &res) {
        std::string ref = req.matches[1].str();
        main_json(s, res, [&s, ref] { return api_attrs(s, ref); });
    });
    struct Post {
        const char *path;
        Json (*fn)(Session &, const Json &);
        bool modal; // may open a menu or dialog: waits as long as the dialog may
    };
    const std::chrono::milliseconds modal_wait((s.options.dialog_timeout_s + 30) * 1000LL);
    for (Post p : {Post{"/api/attr", api_attr_set, false}, Post{"/api/send", api_send, true},
                   Post{"/api/mouse", api_mouse, true}, Post{"/api/resize", api_resize, false},
                   Post{"/api/scale", api_scale, false}}) {
        svr.Post(p.path, [&s, p, modal_wait](const httplib::Request &req, httplib::Response &res) {
            Json body;
            if (body_json(req, res, &body))
                main_json(s, res, [&s, p, body] { return p.fn(s, body); },
                          p.modal ? modal_wait : std::chrono::milliseconds(30000));
        });
    }
    svr.Get("/api/buffers", [&s](const httplib::Request &, httplib::Response &res) {
        main_json(s, res, [&s] { return api_buffers(s); });
    });
}

void add_sound_routes(Session &s, httplib::Server &svr)
{
    svr.Post("/api/open", [&s](const httplib::Request &req, httplib::Response &res) {
        std::string name = safe_file_name(param(req, "name"), "sound.wav");
        std::filesystem::path path = std::filesystem::path(s.uploads_dir) / name;
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(req.body.data(), (std::streamsize)req.body.size());
            out.flush();
            if (!out) {
                const std::string why = std::strerror(errno);
                out.close();
                std::error_code ec;
                std::filesystem::remove(path, ec); // no truncated file is left behind
                send_json(res, {{"error", "cannot store " + name + ": " + why}});
                return;
            }
        }
        std::string buffer = param(req, "buffer"), p = path.string();
        main_json(s, res, [&s, p, buffer] { return api_open_sound(s, p, buffer); });
    });
    svr.Get("/api/buffer.wav", [&s](const httplib::Request &req, httplib::Response &res) {
        std::string buffer = param(req, "buffer");
        auto path = std::make_shared<std::string>();
        Json out;
        if (!main_call(s, [&s, buffer, path] { return api_save_buffer(s, buffer, path.get()); }, &out)) {
            send_json(res, {{"error", "the patch is busy"}}, 503);
            return;
        }
        if (out.contains("error")) {
            send_json(res, out);
            return;
        }
        send_file(res, *path, out.value("name", "sound.wav"), true);
    });
    svr.Get("/api/sound.wav", [&s](const httplib::Request &req, httplib::Response &res) {
        std::string buffer = param(req, "buffer"), box = param(req, "box");
        bool selection = param(req, "span") == "selection";
        auto wav = std::make_shared<std::string>();
        Json out;
        auto fn = [&s, buffer, box, selection, wav] { return api_sound_wav(s, buffer, box, selection, wav.get()); };
        if (!main_call(s, fn, &out)) {
            send_json(res, {{"error", "the patch is busy"}}, 503);
            return;
        }
        if (out.contains("error")) {
            send_json(res, out);
            return;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_header("X-Buffer", out.value("buffer", ""));
        res.set_header("X-Start-Ms", std::to_string(out.value("start_ms", 0.0)));
        res.set_header("X-End-Ms", std::to_string(out.value("end_ms", 0.0)));
        res.set_content(*wav, "audio/wav");
    });
    svr.Get(R"(/api/download/([^/]+))", [&s](const httplib::Request &req, httplib::Response &res) {
        std::string name = safe_file_name(req.matches[1].str(), "");
        send_file(res, (std::filesystem::path(s.downloads_dir) / name).string(), name, true);
    });
}

// Whether binding host:port fails because something else listens there.
bool port_in_use(const std::string &host, int port)
{
    if (port <= 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((uint16_t)port);
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1)
        return false;
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    bool busy = bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 && errno == EADDRINUSE;
    close(fd);
    return busy;
}

} // namespace

int http_start(Session &s)
{
    server = std::make_unique<httplib::Server>();
    httplib::Server &svr = *server;
    // Long polls, a press waiting in a menu, parallel picture loads and
    // connections that send nothing (until the read timeout below) each hold
    // a thread: enough for dozens of idle sockets and the page besides.
    svr.new_task_queue = [] {
        connection_pool *p = new connection_pool(128, 64);
        pool = p;
        return p;
    };
    svr.set_keep_alive_max_count(1000);
    svr.set_keep_alive_timeout(2);
    // A connection that sends nothing gives its thread back soon, so that
    // idle sockets cannot keep the page's requests waiting.
    svr.set_read_timeout(2, 0);
    svr.set_payload_max_length((size_t)1 << 30);
    // httplib's default sets SO_REUSEPORT, which lets a second server bind a
    // port already in use and share its connections.  Only SO_REUSEADDR:
    // a restart may take the port back from TIME_WAIT, a busy port fails.
    // Every answer goes out at once: Nagle's algorithm would hold a small
    // reply until the page acknowledges the previous one (about 40 ms on
    // every gesture).  Accepted sockets inherit the option.
    svr.set_tcp_nodelay(true);
    svr.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    });
    svr.set_exception_handler([](const httplib::Request &, httplib::Response &res, std::exception_ptr ep) {
        std::string what = "internal error";
        try {
            std::rethrow_exception(ep);
        } catch (const std::exception &e) {
            what = e.what();
        } catch (...) {
        }
        res.status = 500;
        res.set_content(Json{{"error", what}}.dump(), "application/json; charset=utf-8");
    });
    svr.set_pre_routing_handler([&s](const httplib::Request &req, httplib::Response &res) {
        const std::string why = request_refusal(s, req.get_header_value("Host"), req.get_header_value("Origin"),
                                                req.get_header_value("Cookie"), req.path, req.method);
        if (why.empty())
            return httplib::Server::HandlerResponse::Unhandled;
        send_json(res, {{"error", why}}, 403);
        return httplib::Server::HandlerResponse::Handled;
    });
    add_page_routes(s, svr);
    add_host_routes(s, svr);
    add_sound_routes(s, svr);
    int port = s.options.port;
    if (port == 0) {
        port = svr.bind_to_any_port(s.options.host);
    } else if (!svr.bind_to_port(s.options.host, port)) {
        port = -1;
    }
    if (port <= 0) {
        if (port_in_use(s.options.host, s.options.port))
            fprintf(stderr,
                    "patchhost: port %d is in use (is another editor running?); choose another with --port N, "
                    "or --port 0 for any free port\n",
                    s.options.port);
        else
            fprintf(stderr, "patchhost: cannot listen on %s:%d\n", s.options.host.c_str(), s.options.port);
        server.reset();
        return -1;
    }
    s.port = port;
    listener_done = false;
    listener = std::thread([] {
        server->listen_after_bind();
        listener_done = true;
    });
    return port;
}

void http_stop(Session &s)
{
    if (!server)
        return;
    {
        std::lock_guard<std::mutex> guard(s.m);
        s.stopping = true;
        s.changed.notify_all();
    }
    if (connection_pool *p = pool.exchange(nullptr))
        p->open_gate();
    server->stop();
    // Handlers may be waiting for the main thread: keep serving them.
    while (!listener_done) {
        maxhost::pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    listener.join();
    server.reset();
}

} // namespace serve
} // namespace patchhost
