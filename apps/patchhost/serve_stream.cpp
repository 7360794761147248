// The page's stream (GET /api/stream): one long chunked response that
// carries every change as it happens, so that a gesture's new picture
// reaches the page without a poll answer first and a picture request after.
//
// The stream is a sequence of frames:
//
//     u32 JSON length, u32 pixel length (little-endian)
//     JSON   the poll answer (seq, outlets, cursors, events, ui, ...) whose
//            "pictures" holds only the boxes whose picture changed since the
//            previous frame: {"REF": {"version", "width", "height",
//            "rects": [[x, y, w, h], ...]}}
//     pixels the RGBA rows of each of those rectangles, in order
//
// Each stream remembers the pictures it sent, so a frame holds only the
// rectangles that differ from them (changed_rects, serve_media.cpp): a
// selection drag sends the strips the selection box left and entered, not
// the whole box.  The first frame, and any picture whose size changed, is
// sent whole.  A frame with both lengths 0 says the stream is alive (sent
// when nothing changed for a second; a page that went away shows as a
// failed write).
//
// Frames are built when the page's socket takes them: while a write waits,
// changes pile up in the Session and leave as one frame, so a slow page
// never builds a queue.
#include "serve.h"

namespace patchhost {
namespace serve {

PageStream::PageStream(Session &s, std::string page, uint64_t since)
    : s_(s), page_(std::move(page)), seq_(since)
{
    std::lock_guard<std::mutex> guard(s_.m);
    PageState &ps = s_.pages[page_];
    ps.polls_active++;
    ps.gone = false;
}

PageStream::~PageStream()
{
    std::lock_guard<std::mutex> guard(s_.m);
    PageState &ps = s_.pages[page_];
    ps.polls_active--;
    ps.last_poll_end = Clock::now();
}

bool PageStream::next_frame(std::chrono::milliseconds hold, std::string *frame)
{
    struct Fresh {
        std::string ref;
        uint64_t version;
        std::shared_ptr<const maxhost::Image> image;
    };
    Json state;
    std::vector<Fresh> fresh;
    frame->clear();
    {
        std::unique_lock<std::mutex> lk(s_.m);
        const bool first = !started_;
        s_.changed.wait_for(lk, hold, [&] { return first || s_.seq != seq_ || s_.stopping; });
        if (s_.stopping)
            return false;
        if (!first && s_.seq == seq_) {
            frame->assign(8, '\0'); // nothing changed: the stream is alive
            return true;
        }
        state = state_json_locked(s_, seq_);
        seq_ = s_.seq;
        started_ = true;
        for (const auto &p : s_.pictures) {
            auto it = sent_.find(p.first);
            if (p.second.image && (it == sent_.end() || it->second.version != p.second.version))
                fresh.push_back({p.first, p.second.version, p.second.image});
        }
    }
    Json pictures = Json::object();
    std::string pixels;
    for (Fresh &f : fresh) {
        Sent &sent = sent_[f.ref];
        Json rects = Json::array();
        for (const PictureRect &r : changed_rects(sent.image.get(), *f.image)) {
            rects.push_back({r.x, r.y, r.w, r.h});
            append_rect_pixels(*f.image, r, &pixels);
        }
        pictures[f.ref] = {{"version", f.version}, {"width", f.image->width}, {"height", f.image->height},
                           {"rects", rects}};
        sent.version = f.version;
        sent.image = std::move(f.image);
    }
    state["pictures"] = pictures;
    const std::string json = state.dump(-1, ' ', false, Json::error_handler_t::replace);
    auto put_u32 = [frame](size_t v) {
        for (int i = 0; i < 4; i++)
            frame->push_back((char)((v >> (8 * i)) & 0xff));
    };
    frame->reserve(8 + json.size() + pixels.size());
    put_u32(json.size());
    put_u32(pixels.size());
    frame->append(json);
    frame->append(pixels);
    return true;
}

} // namespace serve
} // namespace patchhost
