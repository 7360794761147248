// Loading patches, loadbang, placeholders, exit statuses and script syntax.
#include "runner.h"
#include "test_png.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

bool has_console(const RunResult &r, const std::string &level, const std::string &part)
{
    for (const Json &l : lines_of(r, "console"))
        if (l["level"] == level && l["text"].get<std::string>().find(part) != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST(Loading, LoadbangFiresInFileOrderThroughCordsBeforeTheScript)
{
    // obj-1 and obj-5 are loadbang objects, obj-4 a UI box that understands
    // loadbang, obj-7 a UI box that does not.
    RunResult r = run_patch("loadbang.maxpat", "echo end\n");
    EXPECT_EQ(r.status, 0) << r.err;
    expect_lines(r.lines, {
        R"({"t":"outlet","box":"obj-1","outlet":0,"sel":"bang","args":[]})",
        R"({"t":"outlet","box":"obj-2","outlet":0,"sel":"first","args":[]})",
        R"({"t":"console","level":"post","class":"print","text":"lb: first"})",
        R"({"t":"outlet","box":"obj-4","outlet":0,"sel":"loaded","args":[]})",
        R"({"t":"outlet","box":"obj-5","outlet":0,"sel":"bang","args":[]})",
        R"({"t":"console","level":"post","class":"print","text":"print: bang"})",
        R"({"t":"echo","text":"end"})",
    });
}

TEST(Loading, UnknownClassesBecomePlaceholdersAndTheRestOfThePatchWorks)
{
    RunResult r = run_patch("unknown.maxpat", "send obj-1 bang\nsendto obj-1 2 bang\nsend obj-4 bang\nsend anon bang\necho done\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has_console(r, "error", "nosuchthing"));
    EXPECT_TRUE(has_console(r, "error", "nosuchui"));
    EXPECT_TRUE(has_console(r, "error", "box 6 has no maxclass"));
    EXPECT_TRUE(has_console(r, "error", "obj-99"));
    std::vector<Json> rest;
    for (const Json &l : r.lines)
        if (l["t"] != "console" || l["level"] != "error")
            rest.push_back(l);
    // The placeholder takes the bang silently; a box without an id is named by its varname.
    expect_lines(rest, {
        R"({"t":"outlet","box":"obj-4","outlet":0,"sel":"hi","args":[]})",
        R"({"t":"console","level":"post","class":"print","text":"p: hi"})",
        R"({"t":"outlet","box":"anon","outlet":0,"sel":"x","args":["y"]})",
        R"({"t":"echo","text":"done"})",
    });
}

TEST(Loading, UnreadablePatchesExitWithStatus2)
{
    RunResult bad = run_patch("bad.maxpat", "echo never\n");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("JSON"), std::string::npos) << bad.err;
    EXPECT_TRUE(bad.lines.empty());

    RunResult nopatcher = run_patch("nopatcher.maxpat", "echo never\n");
    EXPECT_EQ(nopatcher.status, 2);
    EXPECT_NE(nopatcher.err.find("patcher"), std::string::npos) << nopatcher.err;
    EXPECT_TRUE(nopatcher.lines.empty());

    RunResult missing = run_patch("no-such-file.maxpat", nullptr);
    EXPECT_EQ(missing.status, 2);

    RunResult folder = run_patch(scratch_dir(), nullptr);
    EXPECT_EQ(folder.status, 2);
    EXPECT_NE(folder.err.find("folder"), std::string::npos) << folder.err;

    // Nesting deep enough to exhaust a recursive parser, under a key the
    // loader ignores, is refused before parsing.
    const std::string deep = scratch_dir() + "/deep.maxpat";
    write_file(deep, "{\"patcher\":{\"boxes\":[],\"x\":" + std::string(100000, '[') + std::string(100000, ']') + "}}");
    RunResult nested = run_patch(deep, nullptr);
    EXPECT_EQ(nested.status, 2);
    EXPECT_NE(nested.err.find("nest"), std::string::npos) << nested.err;

    // A device would be read for ever (/dev/zero) or look like a read
    // error (/dev/null); an empty file is named as such.
    for (const char *device : {"/dev/zero", "/dev/null"}) {
        RunResult r = run_patch(device, nullptr);
        EXPECT_EQ(r.status, 2) << device;
        EXPECT_NE(r.err.find("is a device, not a file"), std::string::npos) << r.err;
    }
    write_file(scratch_dir() + "/empty.maxpat", "");
    RunResult empty = run_patch(scratch_dir() + "/empty.maxpat", nullptr);
    EXPECT_EQ(empty.status, 2);
    EXPECT_NE(empty.err.find("empty.maxpat: is empty"), std::string::npos) << empty.err;
}

TEST(Script, AFolderOrAnEndlessLineAsTheScriptIsAScriptError)
{
    RunResult r = run_patch("ui.maxpat", nullptr, {"--script", scratch_dir()});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("folder"), std::string::npos) << r.err;
    // A line without end stops at 1 MB instead of filling the memory.
    RunResult zeros = run_patch("ui.maxpat", nullptr, {"--script", "/dev/zero"});
    EXPECT_EQ(zeros.status, 3);
    EXPECT_NE(zeros.err.find("/dev/zero:1: the line is longer than 1 MB"), std::string::npos) << zeros.err;
}

TEST(Script, ScriptErrorsNameTheLineAndExitWithStatus3)
{
    struct Case {
        const char *script;
        const char *where; // expected in the message on standard error
    } cases[] = {
        {"echo one\nfrobnicate 1\necho two\n", ".script:2: unknown command \"frobnicate\""},
        {"echo one\n\n# comment\nsend nobody bang\necho two\n", ".script:4: no box \"nobody\""},
        {"echo one\nmousedown ui x 1\n", ".script:2:"},
        {"echo one\nmousedown ui 1 1 hyper\n", ".script:2:"},
        {"echo one\nsendto ui 9 bang\n", ".script:2:"},
        {"echo one\nsend ui\n", ".script:2: usage"},
        {"echo one\necho \"unterminated\n", ".script:2: unterminated"},
    };
    for (const Case &c : cases) {
        RunResult r = run_patch("ui.maxpat", c.script);
        EXPECT_EQ(r.status, 3) << c.script;
        EXPECT_NE(r.err.find(c.where), std::string::npos) << "stderr: " << r.err;
        // What ran before the error is in the transcript; nothing after it.
        expect_lines(r.lines, {kUiLoaded, R"({"t":"echo","text":"one"})"});
    }
}

TEST(Script, BadCommandLineExitsWithStatus1)
{
    RunResult r = run_patch("", nullptr);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("usage"), std::string::npos);
}

TEST(Script, StandardInputScriptQuotingCommentsAndTranscriptFile)
{
    std::string script = scratch_dir() + "/stdin.script";
    std::string transcript = scratch_dir() + "/stdin.jsonl";
    write_file(script, "# a comment line\n"
                       "\n"
                       "echo   \"two  spaces\"   # a trailing comment\n"
                       "echo a\"b c\r\n"
                       "echo \"say \\\"hi\\\"\" #x\n"
                       "send ui foo \"a b\" \"5\" 1e3 -2 +3 .5\n"
                       "send ui bar 5. 1-2\n");
    RunResult r = run_patch("ui.maxpat", nullptr,
                            {"--script", "-", "--transcript", "'" + transcript + "'", "<", "'" + script + "'"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.lines.empty()); // all of it went to the file
    std::ifstream in(transcript);
    std::vector<Json> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(Json::parse(line));
    expect_lines(lines, {
        kUiLoaded,
        R"({"t":"echo","text":"two  spaces"})",
        R"({"t":"echo","text":"a\"b c"})",
        R"({"t":"echo","text":"say \"hi\""})",
        R"({"t":"outlet","box":"obj-1","outlet":2,"sel":"anything","args":["foo","a b","5",1000.0,-2,3,0.5]})",
        R"({"t":"outlet","box":"obj-1","outlet":2,"sel":"anything","args":["bar",5.0,"1-2"]})",
    });
}

namespace {

// Rows [from, to) of a picture that hold any drawn pixel.
long drawn_rows(const TestPng &png, long from, long to)
{
    long rows = 0;
    for (long y = from; y < to && y < png.height; y++)
        for (long x = 0; x < png.width; x++)
            if (png.rgba[(size_t)(y * png.width + x) * 4 + 3] > 0) {
                rows++;
                break;
            }
    return rows;
}

} // namespace

// Help patchers are mostly comments; their sounds sit in the package's
// media folder, on the search path rather than beside the patch.
TEST(Loading, CommentsDrawWrappedTextAndBareSoundNamesAreFoundOnTheSearchPath)
{
    const std::string media = scratch_dir() + "/media";
    ASSERT_EQ(system(("mkdir -p '" + media + "' && '" MAKE_DEMO_SOUND_EXE "' '" + media + "/tone.wav' >/dev/null").c_str()), 0);
    write_file(scratch_dir() + "/help.maxpat", R"({"patcher": {"fileversion": 1, "classnamespace": "box", "boxes": [
        {"box": {"id": "obj-1", "maxclass": "comment", "varname": "c", "numinlets": 1, "numoutlets": 0,
                 "patching_rect": [10.0, 10.0, 120.0, 60.0], "text": "alpha beta gamma delta epsilon zeta"}},
        {"box": {"id": "obj-2", "maxclass": "newobj", "text": "buffer~ snd tone.wav", "numinlets": 1, "numoutlets": 2,
                 "outlettype": ["float", "bang"], "patching_rect": [10.0, 80.0, 120.0, 22.0]}}], "lines": []}})");
    RunResult r = run_patch(scratch_dir() + "/help.maxpat",
                            "buffer snd\nsnapshot c wrapped.png\nsend c set alpha\nsnapshot c short.png\n",
                            {"--path", media});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const Json &l : lines_of(r, "console"))
        EXPECT_NE(l["level"], "error") << l.dump();
    ASSERT_EQ(lines_of(r, "buffer").size(), 1u);
    EXPECT_GT(lines_of(r, "buffer")[0]["frames"].get<long>(), 0);
    TestPng wrapped, short_text;
    ASSERT_TRUE(test_png_read(scratch_dir() + "/wrapped.png", &wrapped) && wrapped.rgba8());
    ASSERT_TRUE(test_png_read(scratch_dir() + "/short.png", &short_text) && short_text.rgba8());
    EXPECT_GT(drawn_rows(wrapped, 0, 18), 4);   // first line
    EXPECT_GT(drawn_rows(wrapped, 18, 33), 4);  // the text wrapped onto a second line
    EXPECT_GT(drawn_rows(short_text, 0, 18), 4);
    EXPECT_EQ(drawn_rows(short_text, 18, 60), 0); // `set` replaced the text
}
