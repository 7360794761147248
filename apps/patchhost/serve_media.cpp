// Encodings the server sends (box pictures are PNG from the host's
// maxhost::encode_png): sound as 16-bit PCM WAV for the page's audio player,
// the rectangles of a picture that changed, for the page's stream, and the
// file-name cleaning used for uploads and downloads.
#include "serve.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace patchhost {
namespace serve {

namespace {

void put_u16(std::string *out, unsigned v)
{
    out->push_back((char)(v & 0xff));
    out->push_back((char)((v >> 8) & 0xff));
}

void put_u32(std::string *out, uint32_t v)
{
    put_u16(out, v & 0xffff);
    put_u16(out, v >> 16);
}

const int band_rows = 16;  // rows compared and sent together
const int merge_gap = 32;  // changed columns closer than this share a rectangle
const size_t max_rects = 256; // more than this: the whole picture

// The columns of band [y0, y0 + rows) whose pixels differ, as runs
// [first, end) with gaps under merge_gap closed; the band is narrowed to
// the rows that changed (*top, *bottom).  Empty when nothing changed.
std::vector<std::pair<int, int>> band_changes(const maxhost::Image &a, const maxhost::Image &b, int y0,
                                              int rows, int *top, int *bottom, std::vector<uint8_t> &changed)
{
    const int w = b.width;
    const size_t stride = (size_t)w * 4;
    changed.assign((size_t)w, 0);
    *top = -1;
    for (int y = y0; y < y0 + rows; y++) {
        const uint8_t *pa = a.rgba.data() + y * stride, *pb = b.rgba.data() + y * stride;
        if (memcmp(pa, pb, stride) == 0)
            continue;
        if (*top < 0)
            *top = y;
        *bottom = y + 1;
        for (int x = 0; x < w; x++)
            if (memcmp(pa + x * 4, pb + x * 4, 4) != 0)
                changed[(size_t)x] = 1;
    }
    std::vector<std::pair<int, int>> runs;
    if (*top < 0)
        return runs;
    for (int x = 0; x < w;) {
        if (!changed[(size_t)x]) {
            x++;
            continue;
        }
        int end = x + 1;
        while (end < w && changed[(size_t)end])
            end++;
        if (!runs.empty() && x - runs.back().second < merge_gap)
            runs.back().second = end;
        else
            runs.push_back({x, end});
        x = end;
    }
    return runs;
}

} // namespace

std::vector<PictureRect> changed_rects(const maxhost::Image *before, const maxhost::Image &now)
{
    const PictureRect whole = {0, 0, now.width, now.height};
    if (!before || before->width != now.width || before->height != now.height ||
        before->rgba.size() != now.rgba.size())
        return {whole};
    std::vector<PictureRect> out;
    std::vector<uint8_t> changed;
    for (int y0 = 0; y0 < now.height; y0 += band_rows) {
        int top = 0, bottom = 0;
        const int rows = std::min(band_rows, now.height - y0);
        for (const auto &run : band_changes(*before, now, y0, rows, &top, &bottom, changed))
            out.push_back({run.first, top, run.second - run.first, bottom - top});
        if (out.size() > max_rects)
            return {whole};
    }
    return out;
}

void append_rect_pixels(const maxhost::Image &image, const PictureRect &r, std::string *out)
{
    const size_t row = (size_t)r.w * 4;
    for (int y = r.y; y < r.y + r.h; y++)
        out->append(reinterpret_cast<const char *>(image.rgba.data()) + ((size_t)y * image.width + r.x) * 4,
                    row);
}

std::string encode_wav(const float *samples, size_t frames, long channels, double sr)
{
    channels = std::max(1L, channels);
    // A RIFF chunk holds at most 4 GiB: longer spans are cut there.
    const size_t max_frames = (0xffffffffu - 64) / (2 * (size_t)channels);
    frames = std::min(frames, max_frames);
    const uint32_t data_bytes = (uint32_t)(frames * (size_t)channels * 2);
    const uint32_t rate = (uint32_t)std::lround(sr > 0 ? sr : 48000.0);
    std::string out;
    out.reserve(44 + data_bytes);
    out += "RIFF";
    put_u32(&out, 36 + data_bytes);
    out += "WAVEfmt ";
    put_u32(&out, 16);
    put_u16(&out, 1); // PCM
    put_u16(&out, (unsigned)channels);
    put_u32(&out, rate);
    put_u32(&out, rate * (uint32_t)channels * 2);
    put_u16(&out, (unsigned)channels * 2);
    put_u16(&out, 16);
    out += "data";
    put_u32(&out, data_bytes);
    const size_t n = frames * (size_t)channels;
    for (size_t i = 0; i < n; i++) {
        float v = samples[i];
        if (!(v == v))
            v = 0; // NaN plays as silence
        long q = std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f);
        put_u16(&out, (unsigned)(q & 0xffff));
    }
    return out;
}

std::string safe_file_name(const std::string &name, const std::string &fallback)
{
    size_t slash = name.find_last_of("/\\");
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    std::string out;
    for (unsigned char c : base) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                  c == '_' || c == '-' || c == ' ';
        out += ok ? (char)c : '_';
    }
    // No hidden files, no "." or "..", no leading or trailing blanks.
    while (!out.empty() && (out.front() == '.' || out.front() == ' '))
        out.erase(out.begin());
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    if (out.size() > 200)
        out.resize(200);
    if (out.empty())
        return fallback.empty() ? std::string("file") : safe_file_name(fallback, "file");
    return out;
}

} // namespace serve
} // namespace patchhost
