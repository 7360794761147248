// The console: post, error, object_post, object_warn and object_error.
//
// Every line goes to the current sink (stderr by default) and is kept in a
// list that tests and front ends read.  Lines from any thread are serialised.
#include "internal.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

// What the default sink prints before a line of this level.
const char *prefix(const std::string &level)
{
    return level == "error" ? "error: " : level == "warning" ? "warning: " : "";
}

struct mh_console {
    std::mutex lock;
    maxhost::ConsoleSink sink;
    std::vector<maxhost::ConsoleLine> lines;
};

mh_console &console()
{
    static mh_console *c = new mh_console;
    return *c;
}

void emit(const char *level, t_object *x, const char *fmt, va_list ap)
{
    char buf[4096];
    vsnprintf(buf, sizeof buf, fmt, ap);
    maxhost::ConsoleLine line;
    line.level = level;
    if (x && mh_is_object(x)) {
        t_symbol *cls = object_classname(x);
        if (cls)
            line.classname = cls->s_name;
    }
    line.text = buf;
    mh_console &c = console();
    std::lock_guard<std::mutex> guard(c.lock);
    c.lines.push_back(line);
    if (c.sink) {
        c.sink(line);
    } else {
        if (line.classname.empty())
            fprintf(stderr, "%s%s\n", prefix(line.level), buf);
        else
            fprintf(stderr, "%s: %s%s\n", line.classname.c_str(), prefix(line.level), buf);
    }
}

} // namespace

void post(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    emit("post", nullptr, fmt, ap);
    va_end(ap);
}

void error(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    emit("error", nullptr, fmt, ap);
    va_end(ap);
}

void object_post(t_object *x, const char *s, ...)
{
    va_list ap;
    va_start(ap, s);
    emit("post", x, s, ap);
    va_end(ap);
}

void object_warn(t_object *x, const char *s, ...)
{
    va_list ap;
    va_start(ap, s);
    emit("warning", x, s, ap);
    va_end(ap);
}

void object_error(t_object *x, const char *s, ...)
{
    va_list ap;
    va_start(ap, s);
    emit("error", x, s, ap);
    va_end(ap);
}

namespace maxhost {

void set_console_sink(ConsoleSink sink)
{
    mh_console &c = console();
    std::lock_guard<std::mutex> guard(c.lock);
    c.sink = std::move(sink);
}

std::vector<ConsoleLine> console_lines()
{
    mh_console &c = console();
    std::lock_guard<std::mutex> guard(c.lock);
    return c.lines;
}

void console_clear()
{
    mh_console &c = console();
    std::lock_guard<std::mutex> guard(c.lock);
    c.lines.clear();
}

} // namespace maxhost
