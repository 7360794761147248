// Who may talk to the editor.
//
// The editor listens on the loopback interface, but any web page the user
// has open can send requests there: simple POSTs need no preflight, and a
// DNS name the attacker controls can be rebound to 127.0.0.1.  So every
// request must name the server by an IP address or "localhost" with its own
// port (defeats rebinding), every /api/ request must carry the secret the
// page received in a SameSite=Strict cookie when it loaded (other sites'
// requests do not carry it), and a POST that says where it comes from must
// come from the editor's own origin.  JSON bodies must say they are JSON
// (checked where they are parsed).
#include "serve.h"

#include <random>

namespace patchhost {
namespace serve {

namespace {

const char *const cookie_name = "patchhost_session";

bool is_ipv4(const std::string &h)
{
    int dots = 0, digits = 0;
    for (char c : h) {
        if (c == '.') {
            if (digits == 0)
                return false;
            dots++;
            digits = 0;
        } else if (c >= '0' && c <= '9' && digits < 3) {
            digits++;
        } else {
            return false;
        }
    }
    return dots == 3 && digits > 0;
}

// "name:port" of a Host header, split; false when malformed.
bool split_host(const std::string &host, std::string *name, std::string *port)
{
    size_t colon = host.rfind(':');
    if (colon == std::string::npos || (host[0] == '[' && colon < host.find(']')))
        return false;
    *name = host.substr(0, colon);
    *port = host.substr(colon + 1);
    return !name->empty();
}

bool host_ok(const Session &s, const std::string &host)
{
    std::string name, port;
    if (!split_host(host, &name, &port) || port != std::to_string(s.port))
        return false;
    if (name == "localhost" || is_ipv4(name))
        return true;
    // A bracketed IPv6 literal.
    return name.size() > 2 && name.front() == '[' && name.back() == ']' &&
           name.find_first_not_of("0123456789abcdefABCDEF:.", 1) == name.size() - 1;
}

std::string cookie_value(const std::string &cookies)
{
    const std::string key = std::string(cookie_name) + "=";
    size_t at = 0;
    while ((at = cookies.find(key, at)) != std::string::npos) {
        if (at == 0 || cookies[at - 1] == ' ' || cookies[at - 1] == ';') {
            size_t end = cookies.find(';', at);
            return cookies.substr(at + key.size(), end == std::string::npos ? std::string::npos : end - at - key.size());
        }
        at += key.size();
    }
    return "";
}

} // namespace

std::string new_token()
{
    std::random_device rd;
    static const char hex[] = "0123456789abcdef";
    std::string t;
    for (int i = 0; i < 8; i++) {
        uint32_t v = rd();
        for (int k = 0; k < 8; k++, v >>= 4)
            t += hex[v & 15];
    }
    return t;
}

std::string token_cookie(const Session &s)
{
    return std::string(cookie_name) + "=" + s.token + "; Path=/; HttpOnly; SameSite=Strict";
}

std::string request_refusal(const Session &s, const std::string &host, const std::string &origin,
                            const std::string &cookie, const std::string &path, const std::string &method)
{
    if (!host_ok(s, host))
        return "this server answers only to its own address (http://127.0.0.1:" + std::to_string(s.port) + "/)";
    if (method == "POST" && !origin.empty() && origin != "http://" + host)
        return "requests from other sites are refused";
    if (path.compare(0, 5, "/api/") == 0 && cookie_value(cookie) != s.token)
        return "this request does not come from the editor's page; reload the page";
    return "";
}

} // namespace serve
} // namespace patchhost
