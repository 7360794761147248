// The `buffer` script command's report: size, sample rate and, per channel,
// the RMS, the peak and a hash of the exact sample bits, read through the
// SDK's buffer reference and sample lock like any plug-in reads a buffer~.
#include "patchhost.h"

#include "ext_buffer.h"

#include <cmath>
#include <cstring>

namespace patchhost {

namespace {

std::string hex64(uint64_t v)
{
    char s[17];
    snprintf(s, sizeof s, "%016llx", (unsigned long long)v);
    return s;
}

// Fills the per-channel arrays of a buffer line from locked samples.
void channel_stats(const float *s, long frames, long channels, Json *line)
{
    Json rms = Json::array(), peak = Json::array(), hash = Json::array();
    for (long c = 0; c < channels; c++) {
        double sum = 0, top = 0;
        for (long i = 0; s && i < frames; i++) {
            double v = s[i * channels + c];
            sum += v * v;
            top = std::max(top, std::fabs(v));
        }
        rms.push_back(frames > 0 && s ? std::sqrt(sum / (double)frames) : 0.0);
        peak.push_back(top);
        hash.push_back(hex64(channel_hash(s, s ? frames : 0, channels, c)));
    }
    (*line)["rms"] = rms;
    (*line)["peak"] = peak;
    (*line)["hash"] = hash;
}

} // namespace

uint64_t channel_hash(const float *samples, long frames, long channels, long channel)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (long i = 0; i < frames; i++) {
        uint32_t bits;
        memcpy(&bits, samples + i * channels + channel, 4);
        for (int b = 0; b < 4; b++) {
            h ^= (bits >> (8 * b)) & 0xff;
            h *= 0x100000001b3ull;
        }
    }
    return h;
}

bool buffer_report(t_object *self, const std::string &name, Json *line, std::string *err)
{
    t_buffer_ref *ref = buffer_ref_new(self, gensym(name.c_str()));
    t_buffer_obj *b = ref ? buffer_ref_getobject(ref) : nullptr;
    if (!b) {
        if (ref)
            object_free(ref);
        *err = "no buffer~ named \"" + name + "\"";
        return false;
    }
    long frames = (long)buffer_getframecount(b);
    long channels = (long)buffer_getchannelcount(b);
    *line = {{"t", "buffer"}, {"name", name}, {"frames", frames}, {"channels", channels},
             {"sr", (double)buffer_getsamplerate(b)}};
    float *s = buffer_locksamples(b);
    channel_stats(s, frames, channels, line);
    if (s)
        buffer_unlocksamples(b);
    object_free(ref);
    return true;
}

} // namespace patchhost
