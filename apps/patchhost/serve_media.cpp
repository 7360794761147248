// Encodings the server sends (box pictures are PNG from the host's
// maxhost::encode_png): sound as 16-bit PCM WAV for the page's audio player,
// and the file-name cleaning used for uploads and downloads.
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

} // namespace

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
