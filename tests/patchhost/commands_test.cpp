// Script commands against the host classes and the test externals:
// message boxes and print, sends of every shape, attributes, mouse and
// cursor, snapshots and buffer reports.
#include "runner.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

bool read_png(const std::string &path, Picture *p)
{
    png_image img;
    memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str()))
        return false;
    img.format = PNG_FORMAT_RGBA;
    p->width = (int)img.width;
    p->height = (int)img.height;
    p->rgba.resize(PNG_IMAGE_SIZE(img));
    return png_image_finish_read(&img, nullptr, p->rgba.data(), 0, nullptr) != 0;
}

std::vector<uint8_t> pixel(const Picture &p, int x, int y)
{
    const uint8_t *px = p.rgba.data() + 4 * ((size_t)y * p.width + x);
    return {px[0], px[1], px[2], px[3]};
}

} // namespace

TEST(Commands, MessageBoxesSendTheirContentsAndPrintPostsThem)
{
    // m holds "hello 1 2., 5, $1 foo"; print out shows each message.
    RunResult r = run_patch("messages.maxpat", "send m bang\n"
                                               "mousedown m 5 5\n"
                                               "send m 7\n"
                                               "send m foo bar\n"
                                               "send m set a b\n"
                                               "send m bang\n"
                                               "send l bang\n"
                                               "send b bang\n"
                                               "send f bang\n"
                                               "send obj-6 1.5 2\n");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> contents = {
        R"({"t":"outlet","box":"obj-1","outlet":0,"sel":"hello","args":[1,2.0]})",
        R"({"t":"console","level":"post","class":"print","text":"out: hello 1 2."})",
        R"({"t":"outlet","box":"obj-1","outlet":0,"sel":"int","args":[5]})",
        R"({"t":"console","level":"post","class":"print","text":"out: 5"})",
    };
    std::vector<std::string> want;
    auto add = [&](std::vector<std::string> lines) { want.insert(want.end(), lines.begin(), lines.end()); };
    add(contents); // bang: $1 is 0
    add({R"({"t":"outlet","box":"obj-1","outlet":0,"sel":"list","args":[0,"foo"]})",
         R"({"t":"console","level":"post","class":"print","text":"out: 0 foo"})"});
    add(contents); // click: the same
    add({R"({"t":"outlet","box":"obj-1","outlet":0,"sel":"list","args":[0,"foo"]})",
         R"({"t":"console","level":"post","class":"print","text":"out: 0 foo"})"});
    add(contents); // 7 becomes $1
    add({R"({"t":"outlet","box":"obj-1","outlet":0,"sel":"list","args":[7,"foo"]})",
         R"({"t":"console","level":"post","class":"print","text":"out: 7 foo"})"});
    add(contents); // a message's selector is $1
    add({R"({"t":"outlet","box":"obj-1","outlet":0,"sel":"foo","args":["foo"]})",
         R"({"t":"console","level":"post","class":"print","text":"out: foo foo"})"});
    add({R"({"t":"outlet","box":"obj-1","outlet":0,"sel":"a","args":["b"]})", // after set a b
         R"({"t":"console","level":"post","class":"print","text":"out: a b"})",
         R"({"t":"outlet","box":"obj-3","outlet":0,"sel":"list","args":[1,2]})",
         R"({"t":"console","level":"post","class":"print","text":"out: 1 2"})",
         R"({"t":"outlet","box":"obj-4","outlet":0,"sel":"bang","args":[]})",
         R"({"t":"console","level":"post","class":"print","text":"out: bang"})",
         R"({"t":"outlet","box":"obj-5","outlet":0,"sel":"float","args":[5.0]})",
         R"({"t":"console","level":"post","class":"print","text":"out: 5."})",
         R"({"t":"console","level":"post","class":"print","text":"two words: 1.5 2"})"});
    expect_lines(r.lines, want);
}

TEST(Commands, SendsOfEveryShapeReachTheRightMethodAndInlet)
{
    RunResult r = run_patch("ui.maxpat", "send ui bang\n"
                                         "send ui 5000.\n"
                                         "send ui 5000\n"
                                         "send ui list 0 -1 0 -1 0 0 0 0\n"
                                         "send ui 1 2.5 -3\n"
                                         "send ui mix 3 0.5 sym\n"
                                         "sendto mu 1 0.25\n"
                                         "sendto mu 1 2\n"
                                         "sendto ui 3 bang\n"
                                         "sendto obj-4 1 foo\n");
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_GE(r.lines.size(), 1u);
    Json last = r.lines.back();
    r.lines.pop_back();
    const char *state = R"({"t":"outlet","box":"obj-1","outlet":1,"sel":"list","args":[12,3.0,"my label"]})";
    const char *posted = R"({"t":"console","level":"post","class":"print","text":"state: 12 3. my label"})";
    expect_lines(r.lines, {
        kUiLoaded,
        state,
        posted,
        R"({"t":"outlet","box":"obj-1","outlet":0,"sel":"float","args":[10000.0]})",
        R"({"t":"outlet","box":"obj-1","outlet":0,"sel":"float","args":[5000.5]})",
        R"({"t":"outlet","box":"obj-1","outlet":2,"sel":"gotlist","args":[0,-1,0,-1,0,0,0,0]})",
        R"({"t":"outlet","box":"obj-1","outlet":2,"sel":"gotlist","args":[1,2.5,-3]})",
        R"({"t":"outlet","box":"obj-1","outlet":2,"sel":"mixed","args":[3,0.5,"sym"]})",
        R"({"t":"outlet","box":"obj-2","outlet":0,"sel":"right","args":[0.25]})",
        R"({"t":"outlet","box":"obj-2","outlet":0,"sel":"right","args":[2.0]})",
        state, // inlet 3 is a general inlet
        posted,
    });
    // A float inlet refuses a word, and says so on the console, naming the class.
    EXPECT_EQ(last["t"], "console");
    EXPECT_EQ(last["level"], "error");
    EXPECT_EQ(last["class"], "testui");
}

TEST(Commands, AttributesComeFromThePatchAndTheInspectorPath)
{
    RunResult r = run_patch("ui.maxpat", "getattr ui count\n"
                                         "getattr obj-1 gain\n"
                                         "getattr ui label\n"
                                         "getattr ui color\n"
                                         "getattr ui flag\n"
                                         "getattr ui patching_rect\n"
                                         "attr ui count 200\n"
                                         "getattr ui count\n"
                                         "attr ui mode 5\n"
                                         "getattr ui mode\n"
                                         "attr ui scale 3\n"
                                         "getattr ui scale\n"
                                         "attr ui label \"two words\"\n"
                                         "getattr ui label\n"
                                         "attr ui color 0 0.5 1 1\n"
                                         "getattr ui color\n"
                                         "getattr ui nosuch\n"
                                         "attr ui nosuch 1\n");
    EXPECT_EQ(r.status, 0) << r.err;
    expect_lines(r.lines, {
        kUiLoaded,
        R"({"t":"attr","box":"obj-1","name":"count","value":[12]})",
        R"({"t":"attr","box":"obj-1","name":"gain","value":[3.0]})",
        R"({"t":"attr","box":"obj-1","name":"label","value":["my label"]})",
        R"({"t":"attr","box":"obj-1","name":"color","value":[1.0,0.0,0.0,1.0]})",
        R"({"t":"attr","box":"obj-1","name":"flag","value":[0]})",
        R"({"t":"attr","box":"obj-1","name":"patching_rect","value":[10.0,20.0,80.0,40.0]})",
        R"({"t":"attr","box":"obj-1","name":"count","value":[100]})",
        R"({"t":"attr","box":"obj-1","name":"mode","value":[2]})",
        R"({"t":"attr","box":"obj-1","name":"scale","value":[30]})",
        R"({"t":"attr","box":"obj-1","name":"label","value":["two words"]})",
        R"({"t":"attr","box":"obj-1","name":"color","value":[0.0,0.5,1.0,1.0]})",
        R"({"t":"attr","box":"obj-1","name":"nosuch","value":null})",
        R"({"t":"console","level":"error","class":null,
            "text":"patchhost: box \"ui\" has no settable attribute \"nosuch\""})",
    });
}

TEST(Commands, MouseEventsCarryPositionAndModifiersAndCursorsAreReported)
{
    RunResult r = run_patch("ui.maxpat", "mousedown ui 10 20\n"
                                         "mousedrag ui 3.5 4 shift\n"
                                         "mouseup ui 5 6\n"
                                         "mousedown ui 1 2 context shift\n"
                                         "mouseenter mu\n"
                                         "mouseenter ui\n"
                                         "mousedown mu 1 1\n"
                                         "mouseup mu 1 1\n");
    EXPECT_EQ(r.status, 0) << r.err;
    expect_lines(r.lines, {
        kUiLoaded,
        R"({"t":"cursor","box":"obj-1","cursor":4})",
        R"({"t":"outlet","box":"obj-1","outlet":2,"sel":"mouse","args":[1,10.0,20.0,0]})",
        R"({"t":"outlet","box":"obj-1","outlet":2,"sel":"mouse","args":[2,3.5,4.0,2]})",
        R"({"t":"outlet","box":"obj-1","outlet":2,"sel":"mouse","args":[3,5.0,6.0,0]})",
        R"({"t":"cursor","box":"obj-1","cursor":4})",
        R"({"t":"outlet","box":"obj-1","outlet":2,"sel":"mouse","args":[1,1.0,2.0,130]})",
        R"({"t":"cursor","box":"obj-2","cursor":6})",
        R"({"t":"outlet","box":"obj-2","outlet":0,"sel":"click","args":[]})",
    });
}

TEST(Commands, SnapshotsArePngsOfTheBoxAtItsCurrentSize)
{
    RunResult r = run_patch("ui.maxpat", "snapshot ui ui.png\n"
                                         "resize ui 50 30\n"
                                         "snapshot ui small.png\n"
                                         "snapshot mu mu.png\n"
                                         "snapshot obj-3 print.png\n"
                                         "getattr ui patching_rect\n");
    EXPECT_EQ(r.status, 0) << r.err;
    expect_lines(r.lines, {
        kUiLoaded,
        R"({"t":"console","level":"error","class":null,"text":"patchhost: box \"obj-3\" cannot paint"})",
        R"({"t":"attr","box":"obj-1","name":"patching_rect","value":[10.0,20.0,50.0,30.0]})",
    });
    Picture ui, small, mu;
    ASSERT_TRUE(read_png(scratch_dir() + "/ui.png", &ui));
    EXPECT_EQ(ui.width, 80);
    EXPECT_EQ(ui.height, 40);
    EXPECT_EQ(pixel(ui, 40, 20), (std::vector<uint8_t>{255, 0, 0, 255})); // the saved colour
    ASSERT_TRUE(read_png(scratch_dir() + "/small.png", &small));
    EXPECT_EQ(small.width, 50);
    EXPECT_EQ(small.height, 30);
    ASSERT_TRUE(read_png(scratch_dir() + "/mu.png", &mu));
    EXPECT_EQ(mu.width, 64);
    EXPECT_EQ(mu.height, 32);
    EXPECT_EQ(pixel(mu, 1, 1), (std::vector<uint8_t>{0, 255, 0, 255}));
}

namespace {

// A 32-bit float WAV file, interleaved.
std::string float_wav(const std::vector<float> &samples, int channels, int rate)
{
    auto u32 = [](uint32_t v) { return std::string((const char *)&v, 4); };
    auto u16 = [](uint16_t v) { return std::string((const char *)&v, 2); };
    std::string data((const char *)samples.data(), samples.size() * 4);
    std::string fmt = u16(3) + u16((uint16_t)channels) + u32((uint32_t)rate) + u32((uint32_t)(rate * channels * 4)) +
                      u16((uint16_t)(channels * 4)) + u16(32);
    std::string body = "WAVE" + std::string("fmt ") + u32((uint32_t)fmt.size()) + fmt + "data" +
                       u32((uint32_t)data.size()) + data;
    return "RIFF" + u32((uint32_t)body.size()) + body;
}

std::string fnv1a64_hex(const std::vector<float> &s, int channels, int channel)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t i = (size_t)channel; i < s.size(); i += (size_t)channels) {
        uint32_t bits;
        memcpy(&bits, &s[i], 4);
        for (int b = 0; b < 4; b++)
            h = (h ^ ((bits >> (8 * b)) & 0xff)) * 0x100000001b3ull;
    }
    char hex[17];
    snprintf(hex, sizeof hex, "%016llx", (unsigned long long)h);
    return hex;
}

} // namespace

TEST(Commands, BufferLinesReportSizeLevelsAndExactSampleHashes)
{
    const int frames = 64;
    std::vector<float> s(frames * 2);
    for (int i = 0; i < frames; i++) {
        s[2 * i] = (float)(i % 8) / 8.f - 0.5f; // -0.5 .. 0.375
        s[2 * i + 1] = i % 2 ? 0.25f : -0.25f;
    }
    write_file(scratch_dir() + "/tone.wav", float_wav(s, 2, 44100));
    write_file(scratch_dir() + "/buffer.maxpat",
               R"({"patcher":{"boxes":[{"box":{"id":"obj-1","maxclass":"newobj","text":"buffer~ snd tone.wav"}}]}})");
    RunResult r = run_patch(scratch_dir() + "/buffer.maxpat", "buffer snd\nsend obj-1 clear\nbuffer snd\n");
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<Json> b = lines_of(r, "buffer");
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0]["name"], "snd");
    EXPECT_EQ(b[0]["frames"], frames);
    EXPECT_EQ(b[0]["channels"], 2);
    EXPECT_EQ(b[0]["sr"], 44100.0);
    double sum = 0;
    for (int i = 0; i < 8; i++)
        sum += std::pow(i / 8.0 - 0.5, 2);
    EXPECT_NEAR(b[0]["rms"][0].get<double>(), std::sqrt(sum / 8), 1e-9);
    EXPECT_NEAR(b[0]["rms"][1].get<double>(), 0.25, 1e-9);
    EXPECT_EQ(b[0]["peak"], Json::parse("[0.5, 0.25]"));
    EXPECT_EQ(b[0]["hash"][0], fnv1a64_hex(s, 2, 0));
    EXPECT_EQ(b[0]["hash"][1], fnv1a64_hex(s, 2, 1));
    EXPECT_NE(b[0]["hash"][0], b[0]["hash"][1]);
    // After clear, the same size and silence: the report reads the samples anew.
    std::vector<float> zeros(s.size(), 0.f);
    EXPECT_EQ(b[1]["frames"], frames);
    EXPECT_EQ(b[1]["peak"], Json::parse("[0.0, 0.0]"));
    EXPECT_EQ(b[1]["hash"][0], fnv1a64_hex(zeros, 2, 0));
}

TEST(Commands, BufferOfAMissingNameIsAScriptError)
{
    RunResult r = run_patch("ui.maxpat", "echo one\nbuffer nosuch\necho two\n");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find(".script:2:"), std::string::npos) << r.err;
    expect_lines(r.lines, {kUiLoaded, R"({"t":"echo","text":"one"})"});
}
