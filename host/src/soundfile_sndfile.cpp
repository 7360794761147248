// The libsndfile codec for buffer~'s sound files: reading any format
// libsndfile knows into interleaved 32-bit floats, and writing WAV, AIFF,
// FLAC or Ogg Vorbis as the file name's extension says.  WAV and AIFF hold
// 32-bit floats (bit-exact); FLAC holds 24-bit integers (samples clipped to
// -1..1); Ogg Vorbis is lossy, encoded at the highest quality.
//
// libsndfile quietly shortens a truncated WAV or AIFF to the data present,
// so for those the parser's log is checked for a data chunk longer than the
// file.
#include "buffer_internal.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const sf_count_t read_chunk_frames = 65536;

// True when the parser's log shows the audio data chunk declared longer than
// the file holds ("data : 8000 (should be 3912)", "Chunk size ... > file length").
bool log_shows_truncation(SNDFILE *f)
{
    char log[16384];
    log[0] = 0;
    sf_command(f, SFC_GET_LOG_INFO, log, sizeof log);
    char *save = nullptr;
    for (char *line = strtok_r(log, "\n", &save); line; line = strtok_r(nullptr, "\n", &save)) {
        while (*line == ' ')
            line++;
        long long declared = 0, actual = 0;
        if (strstr(line, "Chunk size") && strstr(line, "> file length"))
            return true;
        if ((sscanf(line, "data : %lld (should be %lld)", &declared, &actual) == 2 ||
             sscanf(line, "SSND : %lld (should be %lld)", &declared, &actual) == 2) &&
            actual < declared && declared != 0 && declared != 0xFFFFFFFFLL)
            return true; // 0 and 0xFFFFFFFF are "length unknown" from streaming writers
    }
    return false;
}

bool header_declares_more(SNDFILE *f, const SF_INFO &info)
{
    switch (info.format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64:
    case SF_FORMAT_W64:
    case SF_FORMAT_AIFF:
        return log_shows_truncation(f);
    default:
        return false;
    }
}

// Reads every frame of an open file into `out`; the frame count may be
// unknown (-1), then the block grows as frames arrive.
bool read_frames(SNDFILE *f, sf_count_t declared, long channels, mh_sample_block *out, sf_count_t *got,
                 std::string *err)
{
    *got = 0;
    if (declared >= 0 && !out->allocate((size_t)declared * (size_t)channels)) {
        *err = "not enough memory";
        return false;
    }
    for (;;) {
        sf_count_t want = declared >= 0 ? declared - *got : read_chunk_frames;
        if (want <= 0)
            break;
        if (declared < 0) {
            if (!mh_buffer_size_ok((long)(*got + want), channels) ||
                !out->resize((size_t)(*got + want) * (size_t)channels)) {
                *err = "not enough memory";
                return false;
            }
        }
        sf_count_t n = sf_readf_float(f, out->data() + (size_t)*got * (size_t)channels, want);
        if (n <= 0)
            break;
        *got += n;
    }
    if (declared < 0)
        out->resize((size_t)*got * (size_t)channels);
    return true;
}

// What a RIFF WAV header says of its rate and channels, for the message
// when libsndfile refuses them ("SF_INFO struct incomplete" says nothing to
// a person).  "" when the file is no RIFF WAV or its fmt chunk is missing.
std::string wav_header_fault(const std::string &path)
{
    FILE *fp = fopen(path.c_str(), "rb");
    if (!fp)
        return "";
    unsigned char h[12], c[8], fmt[16];
    std::string out;
    if (fread(h, 1, 12, fp) == 12 && memcmp(h, "RIFF", 4) == 0 && memcmp(h + 8, "WAVE", 4) == 0) {
        while (fread(c, 1, 8, fp) == 8) {
            const uint32_t size = c[4] | c[5] << 8 | c[6] << 16 | (uint32_t)c[7] << 24;
            if (memcmp(c, "fmt ", 4) != 0) {
                if (fseek(fp, (long)(size + (size & 1)), SEEK_CUR) != 0)
                    break;
                continue;
            }
            if (size >= 16 && fread(fmt, 1, 16, fp) == 16) {
                const unsigned channels = fmt[2] | fmt[3] << 8;
                const uint32_t rate = fmt[4] | fmt[5] << 8 | fmt[6] << 16 | (uint32_t)fmt[7] << 24;
                if (channels < 1 || channels > MH_BUFFER_MAX_CHANNELS)
                    out = "its header gives " + std::to_string(channels) + " channels";
                else if (rate < 1 || rate > 1000000)
                    out = "its header gives a sample rate of " + std::to_string(rate) + " Hz";
            }
            break;
        }
    }
    fclose(fp);
    return out;
}

bool open_for_reading(const std::string &path, SNDFILE **f, SF_INFO *info, std::string *err)
{
    *info = SF_INFO();
    *f = sf_open(path.c_str(), SFM_READ, info);
    if (!*f) {
        const std::string fault = wav_header_fault(path);
        *err = !fault.empty() ? "not a sound file that can be read: " + fault
                              : std::string("not a sound file that can be read (") + sf_strerror(nullptr) + ")";
        return false;
    }
    return true;
}

} // namespace

bool mh_sound_decode(const std::string &path, mh_sound *out, std::string *err)
{
    SNDFILE *f = nullptr;
    SF_INFO info;
    if (!open_for_reading(path, &f, &info, err))
        return false;
    bool ok = false;
    mh_sample_block block;
    sf_count_t declared = info.frames == SF_COUNT_MAX ? -1 : info.frames, got = 0;
    if (info.channels < 1 || info.channels > MH_BUFFER_MAX_CHANNELS || info.samplerate <= 0)
        *err = "unsupported channel count or sample rate";
    else if (header_declares_more(f, info))
        *err = "the file is truncated (it ends before the length its header gives)";
    else if (declared >= 0 && (declared > LONG_MAX || !mh_buffer_size_ok((long)declared, info.channels)))
        *err = "too large for this machine's memory";
    else if (read_frames(f, declared, info.channels, &block, &got, err)) {
        if (sf_error(f) != SF_ERR_NO_ERROR)
            *err = std::string("cannot decode the file (") + sf_strerror(f) + ")";
        else if (declared >= 0 && got < declared)
            *err = "the file is truncated (" + std::to_string((long long)got) + " of " +
                   std::to_string((long long)declared) + " frames could be read)";
        else
            ok = true;
    }
    sf_close(f);
    if (!ok)
        return false;
    out->samples = std::move(block);
    out->frames = (long)got;
    out->channels = info.channels;
    out->sr = info.samplerate;
    return true;
}

// ---------------------------------------------------------------- writing

int mh_sound_format_for(const std::string &path, double bytes, std::string *err)
{
    std::string ext = mh_sound_extension(path);
    if (ext == "wav" || ext == "wave")
        return (bytes > 4.0e9 ? SF_FORMAT_RF64 : SF_FORMAT_WAV) | SF_FORMAT_FLOAT;
    if (ext == "aif" || ext == "aiff" || ext == "aifc")
        return SF_FORMAT_AIFF | SF_FORMAT_FLOAT;
    if (ext == "flac")
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    if (ext == "ogg" || ext == "oga")
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    *err = "unknown file type (the name must end in .wav, .aif, .aiff, .flac or .ogg)";
    return 0;
}

bool mh_sound_encode(int fd, int format, const float *samples, long frames, long channels, double sr, std::string *err)
{
    SF_INFO info = SF_INFO();
    info.samplerate = (int)std::lround(std::min(std::max(sr, 1.0), (double)INT_MAX));
    info.channels = (int)channels;
    info.format = format;
    if (!sf_format_check(&info)) {
        *err = "this format cannot hold " + std::to_string(channels) + " channels at " +
               std::to_string(info.samplerate) + " Hz";
        return false;
    }
    SNDFILE *f = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!f) {
        *err = std::string("cannot start the file (") + sf_strerror(nullptr) + ")";
        return false;
    }
    if ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_24)
        sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    if ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_VORBIS) {
        double quality = 1.0;
        sf_command(f, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    }
    bool ok = frames == 0 || sf_writef_float(f, samples, frames) == frames;
    if (!ok)
        *err = std::string("cannot write the samples (") + sf_strerror(f) + ")";
    sf_write_sync(f);
    if (sf_close(f) != 0 && ok) {
        *err = "cannot finish the file";
        ok = false;
    }
    struct stat st;
    if (ok && (fstat(fd, &st) != 0 || st.st_size == 0)) {
        *err = "this format cannot hold an empty buffer~"; // FLAC writes nothing for no frames
        ok = false;
    }
    return ok;
}

