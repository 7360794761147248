// The built-in WAV codec through buffer~'s read and write messages: every
// sample encoding it reads (files made byte by byte here, independently of
// the host), the float files it writes, and what it refuses, with the
// console message for each.
#include "buffer_test_util.h"

#include <cmath>
#include <cstdint>

namespace {

void put(std::string *s, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        *s += char(v >> (8 * i) & 0xff);
}

// A WAV file: format tag (0xFFFE wraps `sub`), bits, channels, rate and the
// data bytes, with an extra chunk before fmt to be skipped.
std::string wav_file(int tag, int bits, int channels, uint32_t rate, const std::string &data, int sub = 0)
{
    std::string fmt;
    put(&fmt, tag, 2);
    put(&fmt, channels, 2);
    put(&fmt, rate, 4);
    put(&fmt, rate * channels * bits / 8, 4);
    put(&fmt, channels * bits / 8, 2);
    put(&fmt, bits, 2);
    if (tag == 0xFFFE) {
        put(&fmt, 22, 2);
        put(&fmt, bits, 2);
        put(&fmt, 0, 4);
        put(&fmt, sub, 2);
        fmt += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    std::string body = "WAVE";
    body += "LIST";
    put(&body, 3, 4);
    body += std::string("abc\0", 4); // odd length, padded
    body += "fmt ";
    put(&body, fmt.size(), 4);
    body += fmt + "data";
    put(&body, data.size(), 4);
    body += data;
    std::string out = "RIFF";
    put(&out, body.size(), 4);
    return out + body;
}

// The samples -1, -0.5, 0, 0.5 (as near as the encoding gets) in two channels.
std::string encode(int tag, int bits)
{
    std::string d;
    for (double v : {-1.0, -0.5, 0.0, 0.5}) {
        if (tag == 3 && bits == 32) {
            float f = float(v);
            uint32_t u;
            memcpy(&u, &f, 4);
            put(&d, u, 4);
        } else if (tag == 3) {
            uint64_t u;
            memcpy(&u, &v, 8);
            put(&d, u, 8);
        } else if (bits == 8) {
            put(&d, uint64_t(128 + v * 128), 1);
        } else {
            put(&d, uint64_t(int64_t(std::ldexp(v, bits - 1))), bits / 8);
        }
    }
    return d;
}

} // namespace

TEST_F(BufferTest, WavReadsEveryIntegerAndFloatEncoding)
{
    struct Case { int tag, bits, sub; };
    for (Case k : {Case{1, 8, 0}, Case{1, 16, 0}, Case{1, 24, 0}, Case{1, 32, 0}, Case{3, 32, 0}, Case{3, 64, 0},
                   Case{0xFFFE, 24, 1}, Case{0xFFFE, 32, 3}}) {
        int plain_tag = k.tag == 0xFFFE ? k.sub : k.tag;
        std::string name = "s" + std::to_string(k.tag) + "_" + std::to_string(k.bits) + ".wav";
        std::ofstream(path(name), std::ios::binary) << wav_file(k.tag, k.bits, 2, 22050, encode(plain_tag, k.bits), k.sub);
        t_object *box = make("b" + name);
        send(box, "read", {sym_atom(name)});
        expect_layout("b" + name, 2, 2, 22050);
        EXPECT_EQ(samples("b" + name), (std::vector<float>{-1.0f, -0.5f, 0.0f, 0.5f})) << name;
    }
    // A streaming writer's unknown length (0xFFFFFFFF) reads to the end.
    const std::string data = encode(1, 16);
    std::string streamed = wav_file(1, 16, 2, 8000, data);
    streamed.replace(streamed.size() - data.size() - 4, 4, std::string(4, '\xff'));
    std::ofstream(path("streamed.wav"), std::ios::binary) << streamed;
    send(make("streamed"), "read", {sym_atom("streamed.wav")});
    expect_layout("streamed", 2, 2, 8000);
    EXPECT_EQ(errors(), 0);
}

TEST_F(BufferTest, WavWritesFloatsThatReadBackBitExact)
{
    t_object *box = make("out 0 3");
    send(box, "sizeinsamps", {num_atom(1001)});
    send(box, "sr", {num_atom(44100)});
    fill("out", [](long f, long c) { return std::sin(0.01f * float(f * (c + 1))) * 1.5f; }); // past full scale
    std::vector<float> want = samples("out");
    send(box, "write", {sym_atom("t.wav")});
    SoundFile sf; // read back by libsndfile, independently of the host
    ASSERT_TRUE(read_sound(path("t.wav"), &sf));
    EXPECT_EQ(sf.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(sf.info.samplerate, 44100);
    EXPECT_EQ(sf.info.channels, 3);
    EXPECT_EQ(sf.samples, want);
    t_object *back = make("back");
    send(back, "read", {sym_atom("t.wav")});
    expect_layout("back", 1001, 3, 44100);
    EXPECT_EQ(samples("back"), want);
    send(make("empty"), "write", {sym_atom("e.wav")});
    send(make("eback"), "read", {sym_atom("e.wav")});
    expect_layout("eback", 0, 1, 48000);
    EXPECT_EQ(errors(), 0);
}

TEST_F(BufferTest, WavRefusalsSayWhyAndKeepTheBuffer)
{
    std::string good = wav_file(1, 16, 2, 8000, encode(1, 16));
    std::ofstream(path("cut.wav"), std::ios::binary) << good.substr(0, good.size() - 3);
    std::ofstream(path("adpcm.wav"), std::ios::binary) << wav_file(2, 4, 1, 8000, "abcd");
    std::ofstream(path("channels.wav"), std::ios::binary) << wav_file(1, 16, 0, 8000, "abcd");
    std::ofstream(path("sound.aif"), std::ios::binary) << "FORM\0\0\0\x04" "AIFF";
    std::string nofmt = "RIFF" + std::string("\x0c\0\0\0", 4) + "WAVEdata" + std::string(4, '\0');
    std::ofstream(path("nofmt.wav"), std::ios::binary) << nofmt;
    t_object *box = make("keep 0 1");
    send(box, "sizeinsamps", {num_atom(10)});
    std::vector<float> before = samples("keep");
    const std::pair<const char *, const char *> cases[] = {
        {"cut.wav", "truncated"},  {"adpcm.wav", "WAV encoding 2 with 4 bits"},
        {"channels.wav", "0 channels"}, {"sound.aif", "cannot read AIFF files"},
        {"nofmt.wav", "before their format"}};
    for (const auto &c : cases) {
        maxhost::console_clear();
        send(box, "read", {sym_atom(c.first)});
        ASSERT_EQ(errors(), 1) << c.first;
        EXPECT_NE(maxhost::console_lines().back().text.find(c.second), std::string::npos)
            << maxhost::console_lines().back().text;
        EXPECT_EQ(samples("keep"), before);
    }
    maxhost::console_clear();
    send(box, "write", {sym_atom("x.flac")});
    ASSERT_EQ(errors(), 1);
    EXPECT_NE(maxhost::console_lines().back().text.find("WAV files only"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(path("x.flac")));
}
