// Fuzz target: the editor's request handling without the network.  An input
// is "METHOD PATH\nHost\nOrigin\nCookie\nBODY": the header checks run on
// the first four lines, and the body goes, as the server would pass it, to
// the handler the path names (send, mouse, attr, ui answer) on a session
// over the linked-views patch.  Then the invariants are checked.
#include "fuzz_host.h"
#include "serve.h"

#include <cstdint>
#include <sstream>

using patchhost::Json;
namespace serve = patchhost::serve;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static serve::Session *s = nullptr;
    if (!s) {
        s = new serve::Session;
        s->uploads_dir = s->downloads_dir = s->temp_dir = fuzz::setup();
        s->token = "0123456789abcdef";
        s->port = 8080;
        s->patcher = fuzz::linked_patch();
        serve::describe_boxes(*s);
    }
    fuzz::reset_patch(s->patcher);
    std::istringstream in(std::string((const char *)data, size));
    std::string request, host, origin, cookie;
    std::getline(in, request);
    std::getline(in, host);
    std::getline(in, origin);
    std::getline(in, cookie);
    const std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t space = request.find(' ');
    const std::string method = request.substr(0, space);
    const std::string path = space == std::string::npos ? "" : request.substr(space + 1);
    serve::request_refusal(*s, host, origin, cookie, path, method);
    if (patchhost::json_depth(body, patchhost::json_max_depth) > patchhost::json_max_depth)
        return 0;
    const Json j = Json::parse(body, nullptr, false);
    if (j.is_discarded() || !j.is_object())
        return 0;
    if (path == "/api/send")
        serve::api_send(*s, j);
    else if (path == "/api/mouse")
        serve::api_mouse(*s, j);
    else if (path == "/api/attr")
        serve::api_attr_set(*s, j);
    else if (path == "/api/patch")
        serve::api_patch(*s);
    else if (path == "/api/buffers")
        serve::api_buffers(*s);
    maxhost::pump();
    fuzz::check_invariants(s->patcher);
    return 0;
}
