// Shared fixture of the buffer~ tests: a patcher whose folder is a fresh
// temporary directory (so relative file names land there), buffer~ boxes
// made from object-box text, messages with atoms, console error counts, and
// sound files made and inspected with libsndfile directly.
#pragma once

#include "maxhost.h"
#include "ext_buffer.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

inline t_atom sym_atom(const std::string &s)
{
    t_atom a;
    atom_setsym(&a, gensym(s.c_str()));
    return a;
}

inline t_atom num_atom(double f)
{
    t_atom a;
    atom_setfloat(&a, f);
    return a;
}

struct SoundFile {
    SF_INFO info{};
    std::vector<float> samples; // interleaved
};

// Writes interleaved floats with libsndfile; false when it refuses.
inline bool write_sound(const std::string &path, int format, int channels, int sr, const std::vector<float> &data)
{
    SF_INFO info{};
    info.samplerate = sr;
    info.channels = channels;
    info.format = format;
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        return false;
    sf_count_t frames = (sf_count_t)data.size() / channels;
    bool ok = sf_writef_float(f, data.data(), frames) == frames;
    return sf_close(f) == 0 && ok;
}

inline bool read_sound(const std::string &path, SoundFile *out)
{
    out->info = SF_INFO();
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &out->info);
    if (!f)
        return false;
    out->samples.assign((size_t)out->info.frames * (size_t)out->info.channels, 0.f);
    sf_count_t n = sf_readf_float(f, out->samples.data(), out->info.frames);
    sf_close(f);
    return n == out->info.frames;
}

inline std::string file_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class BufferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char templ[] = "/tmp/host_buffer_XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir = templ;
        patcher = maxhost::patcher_new(dir);
        maxhost::pump();
        maxhost::console_clear();
    }
    void TearDown() override
    {
        maxhost::patcher_free(patcher);
        maxhost::pump();
        std::filesystem::remove_all(dir);
    }
    // A buffer~ box from the arguments of its object-box text.
    t_object *make(const std::string &args)
    {
        maxhost::BoxSpec spec;
        spec.maxclass = "newobj";
        spec.text = "buffer~ " + args;
        return maxhost::box_new(patcher, spec);
    }
    void send(t_object *box, const char *msg, std::initializer_list<t_atom> args = {})
    {
        std::vector<t_atom> v(args);
        maxhost::send(box, 0, gensym(msg), (long)v.size(), v.data());
    }
    long errors() const
    {
        long n = 0;
        for (const auto &line : maxhost::console_lines())
            n += line.level == "error";
        return n;
    }
    std::vector<float> samples(const std::string &name)
    {
        std::vector<float> out;
        EXPECT_TRUE(maxhost::buffer_samples(name, &out));
        return out;
    }
    // Sets every sample of a buffer~ to fn(frame, channel) under a lock.
    void fill(const std::string &name, const std::function<float(long, long)> &fn)
    {
        t_object *b = maxhost::find_buffer(name);
        ASSERT_NE(b, nullptr);
        long frames = (long)buffer_getframecount(b), channels = (long)buffer_getchannelcount(b);
        float *p = buffer_locksamples(b);
        ASSERT_NE(p, nullptr);
        for (long f = 0; f < frames; f++)
            for (long c = 0; c < channels; c++)
                p[f * channels + c] = fn(f, c);
        buffer_setdirty(b);
        buffer_unlocksamples(b);
    }
    void expect_layout(const std::string &name, long frames, long channels, double sr)
    {
        long f = -1, c = -1;
        double r = -1;
        ASSERT_TRUE(maxhost::buffer_info(name, &f, &c, &r)) << name;
        EXPECT_EQ(f, frames) << name;
        EXPECT_EQ(c, channels) << name;
        EXPECT_DOUBLE_EQ(r, sr) << name;
    }
    std::string path(const std::string &file) const { return dir + "/" + file; }

    std::string dir;
    t_object *patcher = nullptr;
};
