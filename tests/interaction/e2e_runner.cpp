// What the interaction tests add to the runner harness (see e2e_runner.h).
#include "e2e_runner.h"

#include <cmath>
#include <cstdint>
#include <fstream>

namespace {

void put_le(std::ofstream &out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        out.put((char)((v >> (8 * i)) & 0xff));
}

} // namespace

std::vector<Json> outlet_args(const Transcript &r, const std::string &box, int outlet)
{
    std::vector<Json> out;
    for (const Json &l : lines_of(r, "outlet"))
        if (l["box"] == box && l["outlet"] == outlet)
            out.push_back(l["args"]);
    return out;
}

std::vector<Json> between(const Transcript &r, const char *from, const char *to)
{
    std::vector<Json> out;
    bool in = from == nullptr;
    for (const Json &l : r.lines) {
        if (l["t"] == "echo") {
            if (from && l["text"] == from)
                in = true;
            else if (to && l["text"] == to)
                break;
            continue;
        }
        if (in)
            out.push_back(l);
    }
    return out;
}

Json last_link(const std::vector<Json> &lines, const std::string &box)
{
    Json last;
    for (const Json &l : lines)
        if (l["t"] == "outlet" && l["outlet"] == 8 && (box.empty() || l["box"] == box))
            last = l["args"];
    return last;
}

void write_wav(const std::string &path, long frames, long sr, double (*fn)(long frame))
{
    std::ofstream out(path, std::ios::binary);
    uint32_t data = (uint32_t)frames * 2;
    out << "RIFF";
    put_le(out, 36 + data, 4);
    out << "WAVEfmt ";
    put_le(out, 16, 4);
    put_le(out, 1, 2); // PCM
    put_le(out, 1, 2); // mono
    put_le(out, (uint32_t)sr, 4);
    put_le(out, (uint32_t)sr * 2, 4);
    put_le(out, 2, 2);
    put_le(out, 16, 2);
    out << "data";
    put_le(out, data, 4);
    for (long i = 0; i < frames; i++)
        put_le(out, (uint32_t)(int16_t)std::lround(32767 * fn(i)), 2);
}
