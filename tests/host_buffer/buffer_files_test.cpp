// buffer~ creation, its layout messages, and sound files: round trips in
// every written format, files that cannot be read, and writes that fail.
#include "buffer_test_util.h"

#include <cmath>

namespace {

std::vector<float> ramp(long frames, long channels)
{
    std::vector<float> v((size_t)(frames * channels));
    for (long f = 0; f < frames; f++)
        for (long c = 0; c < channels; c++)
            v[(size_t)(f * channels + c)] = (float)((f % 97) / 97.0 - 0.5) * (c + 1) * 0.5f;
    return v;
}

} // namespace

TEST_F(BufferTest, CreationFormsAndDefaults)
{
    make("empty");
    make("onesec 1000");
    make("stereo 500 2");
    ASSERT_TRUE(write_sound(path("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 22050, ramp(300, 2)));
    make("fromfile in.wav");
    expect_layout("empty", 0, 1, 48000);
    expect_layout("onesec", 48000, 1, 48000);
    expect_layout("stereo", 24000, 2, 48000);
    expect_layout("fromfile", 300, 2, 22050);
    EXPECT_EQ(buffer_locksamples(maxhost::find_buffer("empty")), nullptr); // nothing to lock
    EXPECT_EQ(maxhost::buffer_lock_count("empty"), 0);
    for (float s : samples("stereo"))
        ASSERT_EQ(s, 0.f);
    // 16-bit samples arrive as value / 32768.
    std::vector<float> got = samples("fromfile"), want = ramp(300, 2);
    for (size_t i = 0; i < want.size(); i++)
        ASSERT_NEAR(got[i], want[i], 1.0 / 32768) << i;
    EXPECT_EQ(errors(), 0);
    EXPECT_EQ(gensym("onesec")->s_thing, maxhost::find_buffer("onesec"));
}

TEST_F(BufferTest, LayoutMessagesKeepWhatFits)
{
    t_object *box = make("lay 0 2");
    send(box, "sizeinsamps", {num_atom(10)});
    fill("lay", [](long f, long c) { return (float)(f * 10 + c + 1); });
    send(box, "sizeinsamps", {num_atom(20)});
    std::vector<float> s = samples("lay");
    ASSERT_EQ(s.size(), 40u);
    for (long f = 0; f < 20; f++)
        for (long c = 0; c < 2; c++)
            ASSERT_EQ(s[f * 2 + c], f < 10 ? (float)(f * 10 + c + 1) : 0.f);
    send(box, "sizeinsamps", {num_atom(6), num_atom(3)}); // fewer frames, more channels
    s = samples("lay");
    ASSERT_EQ(s.size(), 18u);
    for (long f = 0; f < 6; f++)
        for (long c = 0; c < 3; c++)
            ASSERT_EQ(s[f * 3 + c], c < 2 ? (float)(f * 10 + c + 1) : 0.f);
    send(box, "sr", {num_atom(44100)});
    send(box, "size", {num_atom(10)}); // 10 ms at 44100 Hz
    expect_layout("lay", 441, 3, 44100);
    EXPECT_EQ(samples("lay")[3], 11.f);
    send(box, "clear");
    for (float v : samples("lay"))
        ASSERT_EQ(v, 0.f);
    EXPECT_EQ(errors(), 0);
    send(box, "sr", {num_atom(0)});
    EXPECT_EQ(errors(), 1);
    expect_layout("lay", 441, 3, 44100);
}

TEST_F(BufferTest, HugeSizeKeepsTheSamplesAndPostsOneError)
{
    t_object *box = make("huge 1 2");
    fill("huge", [](long f, long c) { return (float)(f + c); });
    std::vector<float> before = samples("huge");
    send(box, "sizeinsamps", {num_atom(1e13), num_atom(2)});
    EXPECT_EQ(errors(), 1);
    expect_layout("huge", 48, 2, 48000);
    EXPECT_EQ(samples("huge"), before);
}

TEST_F(BufferTest, FloatWavAndAiffRoundTripsAreBitExact)
{
    t_object *box = make("src 0 3");
    send(box, "sizeinsamps", {num_atom(257)});
    send(box, "sr", {num_atom(44100)});
    // Out-of-range, tiny and negative-zero values must all survive.
    fill("src", [](long f, long c) { return f == 0 ? -0.0f : (float)std::sin(f * 0.37 + c) * (f % 5 ? 1.f : 3.5f) * 1e-3f * (float)(f % 1000 + 1); });
    std::vector<float> want = samples("src");
    for (const char *file : {"out.wav", "out.aif", "OUT.AIFF"}) {
        send(box, "write", {sym_atom(file)});
        SoundFile sf;
        ASSERT_TRUE(read_sound(path(file), &sf)) << file;
        EXPECT_EQ(sf.info.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT) << file;
        EXPECT_EQ(sf.info.samplerate, 44100);
        EXPECT_EQ(sf.info.channels, 3);
        EXPECT_EQ(memcmp(sf.samples.data(), want.data(), want.size() * 4), 0) << file;
        t_object *back = make(std::string("back_") + file);
        send(back, "read", {sym_atom(file)});
        expect_layout(std::string("back_") + file, 257, 3, 44100);
        std::vector<float> got = samples(std::string("back_") + file);
        EXPECT_EQ(memcmp(got.data(), want.data(), want.size() * 4), 0) << file;
    }
    EXPECT_EQ(errors(), 0);
}

TEST_F(BufferTest, FlacIs24BitAndOggIsClose)
{
    t_object *box = make("tone 0 2");
    send(box, "sizeinsamps", {num_atom(44100)});
    send(box, "sr", {num_atom(44100)});
    fill("tone", [](long f, long c) { return 0.5f * (float)std::sin(2 * M_PI * 440 * f / 44100.0 + c); });
    std::vector<float> want = samples("tone");
    send(box, "write", {sym_atom("t.flac")});
    send(box, "write", {sym_atom("t.ogg")});
    ASSERT_EQ(errors(), 0);
    SoundFile flac, ogg;
    ASSERT_TRUE(read_sound(path("t.flac"), &flac));
    EXPECT_EQ(flac.info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    ASSERT_TRUE(read_sound(path("t.ogg"), &ogg));
    EXPECT_EQ(ogg.info.format, SF_FORMAT_OGG | SF_FORMAT_VORBIS);

    t_object *f = make("flacback"), *o = make("oggback");
    send(f, "read", {sym_atom("t.flac")});
    send(o, "read", {sym_atom("t.ogg")});
    expect_layout("flacback", 44100, 2, 44100);
    expect_layout("oggback", 44100, 2, 44100);
    std::vector<float> fl = samples("flacback"), og = samples("oggback");
    double err2 = 0, sig2 = 0;
    for (size_t i = 0; i < want.size(); i++) {
        ASSERT_NEAR(fl[i], want[i], 2.0 / 8388608) << i;
        err2 += (og[i] - want[i]) * (og[i] - want[i]);
        sig2 += want[i] * want[i];
    }
    EXPECT_LT(std::sqrt(err2 / sig2), 0.05); // lossy, but the same sound
    EXPECT_EQ(errors(), 0);
}

TEST_F(BufferTest, RelativeAndHomeNamesResolve)
{
    t_object *box = make("paths 10");
    send(box, "write", {sym_atom("sub/../rel.wav")});
    EXPECT_TRUE(std::filesystem::exists(path("rel.wav")));
    const char *old_home = getenv("HOME");
    std::string saved = old_home ? old_home : "";
    setenv("HOME", dir.c_str(), 1);
    std::filesystem::create_directory(path("sub"));
    send(box, "write", {sym_atom("~/sub/home.aiff")});
    setenv("HOME", saved.c_str(), 1);
    EXPECT_TRUE(std::filesystem::exists(path("sub/home.aiff")));
    send(box, "read", {sym_atom(path("rel.wav"))});
    EXPECT_EQ(errors(), 0);
}

TEST_F(BufferTest, ConfinedNamesStayInTheirFolder)
{
    std::filesystem::create_directory(path("jail"));
    maxhost::confine_files(path("jail"));
    t_object *box = make("confined 10");
    send(box, "write", {sym_atom(path("outside.wav"))});
    send(box, "write", {sym_atom("../../up.wav")});
    send(box, "write", {sym_atom("~/home.wav")});
    send(box, "read", {sym_atom("/etc/up.wav")}); // the file written above, in the folder
    char full[MAX_PATH_CHARS];
    EXPECT_NE(path_nameconform("..", full, PATH_STYLE_NATIVE, PATH_TYPE_ABSOLUTE), 0);
    EXPECT_NE(path_nameconform("dir/", full, PATH_STYLE_NATIVE, PATH_TYPE_ABSOLUTE), 0);
    short folder = 0;
    char name[MAX_FILENAME_CHARS];
    ASSERT_EQ(path_frompotentialpathname("/tmp/x.png", &folder, name), 0);
    ASSERT_EQ(path_topathname(folder, name, full), 0);
    maxhost::confine_files("");
    EXPECT_EQ(std::string(full), path("jail") + "/x.png");
    EXPECT_FALSE(std::filesystem::exists(path("outside.wav")));
    for (const char *f : {"outside.wav", "up.wav", "home.wav"})
        EXPECT_TRUE(std::filesystem::exists(path("jail") + "/" + f)) << f;
    EXPECT_EQ(errors(), 0);
    send(box, "write", {sym_atom("free.wav")}); // lifted: names resolve as before
    EXPECT_TRUE(std::filesystem::exists(path("free.wav")));
}

TEST_F(BufferTest, UnreadableFilesLeaveTheBufferAsItWas)
{
    ASSERT_TRUE(write_sound(path("good.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, ramp(5000, 2)));
    ASSERT_TRUE(write_sound(path("good.aif"), SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 44100, ramp(5000, 2)));
    ASSERT_TRUE(write_sound(path("good.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, ramp(5000, 2)));
    std::filesystem::copy_file(path("good.wav"), path("cut.wav"));
    std::filesystem::resize_file(path("cut.wav"), 20000);
    std::filesystem::copy_file(path("good.aif"), path("cut.aif"));
    std::filesystem::resize_file(path("cut.aif"), 9000);
    std::filesystem::copy_file(path("good.flac"), path("cut.flac"));
    std::filesystem::resize_file(path("cut.flac"), 4000);
    std::ofstream(path("empty.wav")).close();
    std::ofstream(path("notes.txt")) << "not a sound file, just some words in a text file\n";
    std::filesystem::create_directory(path("folder.wav"));

    t_object *box = make("keep 0 3");
    send(box, "sizeinsamps", {num_atom(100)});
    send(box, "sr", {num_atom(32000)});
    fill("keep", [](long f, long c) { return (float)(f * 3 + c); });
    std::vector<float> before = samples("keep");
    for (const char *file : {"missing.wav", "empty.wav", "cut.wav", "cut.aif", "cut.flac", "folder.wav",
                             "notes.txt"}) {
        maxhost::console_clear();
        send(box, "read", {sym_atom(file)});
        EXPECT_EQ(errors(), 1) << file;
        expect_layout("keep", 100, 3, 32000);
        EXPECT_EQ(samples("keep"), before) << file;
    }
    maxhost::console_clear();
    send(box, "read");
    EXPECT_EQ(errors(), 1);

    // Headers libsndfile refuses with "SF_INFO struct incomplete": the
    // message says what is wrong with them.
    for (uint32_t rate : {0u, 4294967295u}) {
        std::string wav = "RIFF" + std::string("\x2c\0\0\0", 4) + "WAVEfmt " + std::string("\x10\0\0\0\1\0\1\0", 8);
        for (int k = 0; k < 4; k++)
            wav += (char)((rate >> (8 * k)) & 255);
        wav += std::string("\0\0\0\0\2\0\x10\0", 8) + "data" + std::string("\x08\0\0\0", 4) + std::string(8, '\0');
        std::ofstream(path("rate.wav"), std::ios::binary) << wav;
        maxhost::console_clear();
        send(box, "read", {sym_atom("rate.wav")});
        ASSERT_EQ(errors(), 1) << rate;
        EXPECT_NE(maxhost::console_lines().back().text.find("a sample rate of " + std::to_string(rate) + " Hz"),
                  std::string::npos)
            << maxhost::console_lines().back().text;
        EXPECT_EQ(samples("keep"), before);
    }
}

TEST_F(BufferTest, FailedWriteKeepsTheExistingFile)
{
    t_object *box = make("wide 10 10");
    ASSERT_TRUE(write_sound(path("keep.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 44100, ramp(1000, 1)));
    std::string before = file_bytes(path("keep.flac"));
    send(box, "write", {sym_atom("keep.flac")}); // FLAC holds at most 8 channels
    send(make("nothing"), "write", {sym_atom("keep.flac")}); // nor an empty buffer~
    EXPECT_EQ(errors(), 2);
    EXPECT_EQ(file_bytes(path("keep.flac")), before);
    send(box, "write", {sym_atom("keep.mp3")});   // unknown type
    send(box, "write", {sym_atom("nowhere/x.wav")}); // no such folder
    EXPECT_EQ(errors(), 4);
    send(box, "write", {sym_atom("keep.flac.wav")});
    EXPECT_EQ(errors(), 4);
    long files = 0;
    for (const auto &e : std::filesystem::directory_iterator(dir))
        files += e.is_regular_file();
    EXPECT_EQ(files, 2); // no temporary left behind, nothing made for the failures
}
