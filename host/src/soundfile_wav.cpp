// The built-in WAV codec for buffer~'s sound files, for builds without
// libsndfile.  It reads RIFF WAVE files holding 8-, 16-, 24- or 32-bit
// integer PCM or 32- or 64-bit floats (plain or WAVE_FORMAT_EXTENSIBLE)
// into interleaved 32-bit floats, and writes 32-bit float WAV, bit-exact,
// as the libsndfile codec does.  Other file types (AIFF, FLAC, Ogg, RF64)
// are refused with a message that says so.
//
// Reading is all or nothing: a data chunk longer than the file, a format
// chunk missing or giving impossible channels or rates, or an unknown
// encoding is refused with a reason.  A data length of 0 or 0xFFFFFFFF
// (what streaming writers leave) means "to the end of the file".
#include "buffer_internal.h"
#include "platform.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

const char *const mh_wav_only = "this build of the host reads and writes WAV files only";

uint32_t mh_le16(const unsigned char *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}

uint32_t mh_le32(const unsigned char *p)
{
    return mh_le16(p) | mh_le16(p + 2) << 16;
}

struct mh_file_closer {
    void operator()(FILE *f) const { fclose(f); }
};
using mh_file = std::unique_ptr<FILE, mh_file_closer>;

// What the fmt chunk says.
struct mh_wav_format {
    bool found = false;
    bool is_float = false;
    uint32_t tag = 0, channels = 0, rate = 0, bits = 0;
};

// Reads and checks the fmt chunk's body (`size` bytes); false with a reason.
bool mh_read_fmt(FILE *f, uint32_t size, mh_wav_format *fmt, std::string *err)
{
    unsigned char b[40] = {0};
    if (size < 16 || fread(b, 1, size < 40 ? size : 40, f) != (size < 40 ? size : 40)) {
        *err = "not a sound file that can be read (its format chunk is cut short)";
        return false;
    }
    fmt->found = true;
    fmt->tag = mh_le16(b);
    fmt->channels = mh_le16(b + 2);
    fmt->rate = mh_le32(b + 4);
    fmt->bits = mh_le16(b + 14);
    if (fmt->tag == 0xFFFE && size >= 40)
        fmt->tag = mh_le16(b + 24); // the sub-format GUID starts with the plain tag
    fmt->is_float = fmt->tag == 3;
    bool pcm_ok = fmt->tag == 1 && (fmt->bits == 8 || fmt->bits == 16 || fmt->bits == 24 || fmt->bits == 32);
    bool float_ok = fmt->tag == 3 && (fmt->bits == 32 || fmt->bits == 64);
    if (fmt->channels < 1 || fmt->channels > MH_BUFFER_MAX_CHANNELS)
        *err = "not a sound file that can be read: its header gives " + std::to_string(fmt->channels) + " channels";
    else if (fmt->rate < 1 || fmt->rate > 1000000)
        *err = "not a sound file that can be read: its header gives a sample rate of " + std::to_string(fmt->rate) +
               " Hz";
    else if (!pcm_ok && !float_ok)
        *err = "not a sound file that can be read (WAV encoding " + std::to_string(fmt->tag) + " with " +
               std::to_string(fmt->bits) + " bits; integer PCM and floating point are supported)";
    else
        return true;
    return false;
}

// One sample of `bytes` bytes as a float in -1..1 (floats as they are).
float mh_wav_sample(const unsigned char *p, uint32_t bytes, bool is_float)
{
    switch (bytes) {
    case 1: return (float(p[0]) - 128.0f) / 128.0f;
    case 2: return float(int16_t(mh_le16(p))) / 32768.0f;
    case 3: return float(int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8) /
                   8388608.0f;
    case 4: {
        uint32_t v = mh_le32(p);
        if (!is_float)
            return float(double(int32_t(v)) / 2147483648.0);
        float x;
        memcpy(&x, &v, 4);
        return x;
    }
    default: {
        uint64_t v = uint64_t(mh_le32(p)) | uint64_t(mh_le32(p + 4)) << 32;
        double x;
        memcpy(&x, &v, 8);
        return float(x);
    }
    }
}

// Reads `frames` frames of the data chunk into `out`; false with a reason.
bool mh_read_samples(FILE *f, const mh_wav_format &fmt, long frames, mh_sample_block *out, std::string *err)
{
    const uint32_t bytes = fmt.bits / 8;
    const size_t frame_bytes = size_t(bytes) * fmt.channels;
    if (!mh_buffer_size_ok(frames, long(fmt.channels)) || !out->allocate(size_t(frames) * fmt.channels)) {
        *err = "too large for this machine's memory";
        return false;
    }
    std::vector<unsigned char> chunk(frame_bytes * 4096);
    float *dst = out->data();
    for (long done = 0; done < frames;) {
        size_t n = size_t(std::min<long>(frames - done, 4096));
        if (fread(chunk.data(), frame_bytes, n, f) != n) {
            *err = "the file is truncated (it ends before the length its header gives)";
            return false;
        }
        for (size_t i = 0; i < n * fmt.channels; ++i)
            *dst++ = mh_wav_sample(chunk.data() + i * bytes, bytes, fmt.is_float);
        done += long(n);
    }
    return true;
}

// The reason a file that is not RIFF WAVE cannot be read.
std::string mh_not_wav(const unsigned char *head)
{
    if (memcmp(head, "FORM", 4) == 0)
        return std::string("cannot read AIFF files (") + mh_wav_only + ")";
    if (memcmp(head, "RF64", 4) == 0)
        return std::string("cannot read RF64 files (") + mh_wav_only + ")";
    return std::string("not a sound file that can be read (") + mh_wav_only + ")";
}

} // namespace

bool mh_sound_decode(const std::string &path, mh_sound *out, std::string *err)
{
    mh_file f(fopen(path.c_str(), "rb"));
    if (!f) {
        *err = strerror(errno);
        return false;
    }
    unsigned char head[12] = {0};
    if (fread(head, 1, 12, f.get()) != 12 || memcmp(head, "RIFF", 4) != 0 || memcmp(head + 8, "WAVE", 4) != 0) {
        *err = mh_not_wav(head);
        return false;
    }
    mh_wav_format fmt;
    unsigned char c[8];
    while (fread(c, 1, 8, f.get()) == 8) {
        uint32_t size = mh_le32(c + 4);
        const int64_t here = mh_file_tell(f.get());
        if (memcmp(c, "fmt ", 4) == 0) {
            if (!mh_read_fmt(f.get(), size, &fmt, err))
                return false;
        } else if (memcmp(c, "data", 4) == 0) {
            if (!fmt.found) {
                *err = "not a sound file that can be read (its data come before their format)";
                return false;
            }
            const int64_t rest = mh_file_seek(f.get(), 0, SEEK_END) ? mh_file_tell(f.get()) - here : -1;
            if (here < 0 || rest < 0 || !mh_file_seek(f.get(), here, SEEK_SET)) {
                *err = std::string("cannot read it: ") + strerror(errno);
                return false;
            }
            if (size != 0 && size != 0xFFFFFFFFu && int64_t(size) > rest) {
                *err = "the file is truncated (it ends before the length its header gives)";
                return false;
            }
            int64_t data = size == 0 || size == 0xFFFFFFFFu ? rest : int64_t(size);
            if (data / int64_t(fmt.bits / 8 * fmt.channels) > LONG_MAX) {
                *err = "the file holds more frames than a buffer~ can";
                return false;
            }
            mh_sample_block block;
            long frames = long(data / int64_t(fmt.bits / 8 * fmt.channels));
            if (!mh_read_samples(f.get(), fmt, frames, &block, err))
                return false;
            out->samples = std::move(block);
            out->frames = frames;
            out->channels = long(fmt.channels);
            out->sr = fmt.rate;
            return true;
        }
        if (here < 0 || !mh_file_seek(f.get(), here + int64_t(size) + int64_t(size & 1), SEEK_SET))
            break;
    }
    *err = "not a sound file that can be read (a WAV file without sample data)";
    return false;
}

// ---------------------------------------------------------------- writing

int mh_sound_format_for(const std::string &path, double bytes, std::string *err)
{
    std::string ext = mh_sound_extension(path);
    if (ext == "wav" || ext == "wave") {
        if (bytes + 58 <= double(UINT32_MAX))
            return 1;
        *err = "too large for a WAV file (4 GB at most)";
        return 0;
    }
    if (ext == "aif" || ext == "aiff" || ext == "aifc" || ext == "flac" || ext == "ogg" || ext == "oga")
        *err = "cannot write ." + ext + " files (" + mh_wav_only + ")";
    else
        *err = "unknown file type (the name must end in .wav)";
    return 0;
}

namespace {

void mh_put16(unsigned char *p, uint32_t v)
{
    p[0] = (unsigned char)(v & 0xff);
    p[1] = (unsigned char)(v >> 8 & 0xff);
}

void mh_put32(unsigned char *p, uint32_t v)
{
    mh_put16(p, v & 0xffff);
    mh_put16(p + 2, v >> 16);
}

bool mh_write_all(int fd, const unsigned char *p, size_t n, std::string *err)
{
    while (n > 0) {
        ssize_t k = write(fd, p, n);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0) {
            *err = std::string("cannot write the samples (") + strerror(k < 0 ? errno : EIO) + ")";
            return false;
        }
        p += k;
        n -= size_t(k);
    }
    return true;
}

} // namespace

// The header: RIFF, WAVE, an 18-byte fmt chunk for IEEE floats, the fact
// chunk (the frame count) that non-PCM WAV files carry, then the data.
bool mh_sound_encode(int fd, int, const float *samples, long frames, long channels, double sr, std::string *err)
{
    const uint32_t rate = uint32_t(std::lround(std::min(std::max(sr, 1.0), double(INT_MAX))));
    const uint32_t data = uint32_t(frames) * uint32_t(channels) * 4;
    unsigned char h[58] = {0};
    memcpy(h, "RIFF", 4);
    mh_put32(h + 4, 50 + data);
    memcpy(h + 8, "WAVEfmt ", 8);
    mh_put32(h + 16, 18);
    mh_put16(h + 20, 3); // IEEE float
    mh_put16(h + 22, uint32_t(channels));
    mh_put32(h + 24, rate);
    mh_put32(h + 28, uint32_t(double(rate) * channels * 4 > UINT32_MAX ? UINT32_MAX : rate * channels * 4));
    mh_put16(h + 32, uint32_t(channels * 4 > 0xffff ? 0xffff : channels * 4));
    mh_put16(h + 34, 32);
    memcpy(h + 38, "fact", 4);
    mh_put32(h + 42, 4);
    mh_put32(h + 46, uint32_t(frames));
    memcpy(h + 50, "data", 4);
    mh_put32(h + 54, data);
    if (!mh_write_all(fd, h, sizeof h, err))
        return false;
    std::vector<unsigned char> chunk(65536 * 4);
    size_t total = size_t(frames) * size_t(channels);
    for (size_t done = 0; done < total;) {
        size_t n = std::min<size_t>(total - done, 65536);
        for (size_t i = 0; i < n; ++i) {
            uint32_t v;
            memcpy(&v, samples + done + i, 4);
            mh_put32(chunk.data() + 4 * i, v);
        }
        if (!mh_write_all(fd, chunk.data(), 4 * n, err))
            return false;
        done += n;
    }
    return true;
}
