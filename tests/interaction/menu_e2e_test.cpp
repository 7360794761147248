// The context menu of spectrogram~ and its edit dialogs through the patch
// runner: items, labels and disabled states, the dialogs' prompts and
// parsing, undo and redo from the menu, and the inversion switch.
//
// sound.maxpat binds `snd`; the tests read a 500 ms WAV of two sines
// (1 kHz and 6 kHz) into it first.
#include "e2e_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

const char *const gain_prompt = "Enter inside and outside\ngain in dB (e.g. -6 0):";
const char *const shift_modes = "0 = Move (mix) - default\n1 = Move (replace)\n2 = Copy (mix)\n3 = Copy (replace)";

struct Item {
    int id; // 0: a separator
    const char *text;
    bool enabled = false;
    bool checked = false;
};

// A menu's items as the transcript shows them.
Json items_json(const std::vector<Item> &items)
{
    Json a = Json::array();
    for (const Item &i : items) {
        if (i.id == 0)
            a.push_back({{"separator", true}});
        else
            a.push_back({{"id", i.id}, {"text", i.text}, {"enabled", i.enabled}, {"checked", i.checked}});
    }
    return a;
}

Json menu_item(const Json &menu, int id)
{
    for (const Json &item : menu["items"])
        if (item.value("id", 0) == id)
            return item;
    return Json();
}

void expect_item(const Json &menu, int id, const char *text, bool enabled, bool checked = false)
{
    Json item = menu_item(menu, id);
    EXPECT_EQ(item["text"], text) << menu.dump();
    EXPECT_EQ(item["enabled"], enabled) << item.dump();
    EXPECT_EQ(item["checked"], checked) << item.dump();
}

double two_sines(long i)
{
    const double pi = 3.14159265358979323846;
    return 0.5 * sin(2 * pi * 1000 * i / 48000.0) + 0.25 * sin(2 * pi * 6000 * i / 48000.0);
}

// Reads the two sines into `snd`; then the script.
Transcript run_on_sound(const std::string &script)
{
    std::string wav = scratch_dir() + "/two_sines.wav";
    write_wav(wav, 24000, 48000, two_sines);
    return run_script("sound.maxpat", "send buf read " + wav + "\n" + script);
}

double rms(const Json &buffer_line) { return buffer_line["rms"][0].get<double>(); }

// The answers to a menu and its dialog are queued before the click that opens it.
const char *const context = "mousedown sg 10 10 context\n";

} // namespace

TEST(Menu, WithNothingToActOnOnlyHistoryCouldBeEnabled)
{
    Transcript r = run_script("select.maxpat", context);
    ASSERT_EQ(r.status, 0) << r.err;
    auto menus = lines_of(r, "menu");
    ASSERT_EQ(menus.size(), 1u);
    Json expected = items_json({{1, "Undo"}, {2, "Redo"}, {0, ""},
                                {3, "Isolate Selection"}, {4, "Delete Selection"}, {5, "Gain Selection..."},
                                {11, "Frequency Shift Selection..."}, {12, "Pitch Shift Selection..."}, {0, ""},
                                {6, "Isolate Shapes"}, {7, "Delete Shapes"}, {8, "Gain Shapes..."},
                                {13, "Frequency Shift Shapes..."}, {14, "Pitch Shift Shapes..."}, {0, ""},
                                {15, "Invert Selection/Shapes"}, {0, ""},
                                {9, "Clear Shapes"}, {10, "Clear Last Shape"}});
    EXPECT_EQ(menus[0]["items"], expected);
    EXPECT_TRUE(menus[0]["answer"].is_null());
}

TEST(Menu, GainSelectionWithAndWithoutInversionUndoAndRedoLabels)
{
    Transcript r = run_on_sound(R"(buffer snd
sendto sg 8 list 0 -1 0 -1 0 -1 0 -1
menu 5
dialog "-6"
mousedown sg 10 10 context
buffer snd
menu 1
mousedown sg 10 10 context
buffer snd
menu 15
mousedown sg 10 10 context
getattr sg edit_inverted
menu 5
dialog "-6"
mousedown sg 10 10 context
buffer snd
mousedown sg 10 10 context
)");
    ASSERT_EQ(r.status, 0) << r.err;
    auto menus = lines_of(r, "menu"), dialogs = lines_of(r, "dialog"), buffers = lines_of(r, "buffer");
    ASSERT_EQ(menus.size(), 5u);
    ASSERT_EQ(dialogs.size(), 2u);
    ASSERT_EQ(buffers.size(), 4u);

    EXPECT_EQ(dialogs[0]["prompt"], gain_prompt);
    EXPECT_EQ(dialogs[0]["default"], "0 0");
    expect_item(menus[0], 5, "Gain Selection...", true);
    expect_item(menus[0], 15, "Invert Selection/Shapes", true);
    expect_item(menus[0], 9, "Clear Shapes", false);

    expect_item(menus[1], 1, "Undo Gain Selection", true);
    expect_item(menus[1], 2, "Redo", false);
    EXPECT_EQ(buffers[2]["hash"], buffers[0]["hash"]) << "undo restores the samples";
    expect_item(menus[2], 1, "Undo", false);
    expect_item(menus[2], 2, "Redo Gain Selection", true);

    auto attrs = lines_of(r, "attr");
    ASSERT_EQ(attrs.size(), 1u);
    EXPECT_EQ(attrs[0]["value"], Json::array({1}));
    expect_item(menus[3], 15, "Revert Selection/Shapes", true, true);
    // The selection holds every cell.  Plain: -6 dB inside, 0 dB outside.
    // Inverted: 0 dB inside, -6 dB outside, where there is nothing.  Both
    // pass through the same resynthesis, which loses a little at the ends.
    EXPECT_NEAR(rms(buffers[1]) / rms(buffers[3]), pow(10, -6 / 20.0), 1e-3);
    EXPECT_GT(rms(buffers[3]) / rms(buffers[0]), 0.9);
    expect_item(menus[4], 1, "Undo Gain Selection", true);
    expect_item(menus[4], 2, "Redo", false);

    // The view and selection survive the edits: no repaint takes the
    // selection from a rubber band of the context click.
    auto links = outlet_args(r, "obj-2", 8);
    Json whole = Json::array({0.0, 500.0, 0.0, 24000.0, 0.0, 500.0, 0.0, 24000.0});
    auto set = std::find(links.begin(), links.end(), whole);
    ASSERT_NE(set, links.end());
    for (auto it = set; it != links.end(); ++it)
        EXPECT_EQ(*it, whole);
}

TEST(Menu, ShiftModesOutsideZeroToThreeMoveAndMix)
{
    std::string script = "sendto sg 8 list 0 -1 0 -1 0 -1 0 5000\n";
    for (const char *entry : {"2000 0 4", "2000 0 0", "2000 0 -1", "2000 0 3"})
        script += std::string("menu 11\ndialog \"") + entry + "\"\n" + context + "buffer snd\nmenu 1\n" + context;
    Transcript r = run_on_sound(script);
    ASSERT_EQ(r.status, 0) << r.err;
    auto dialogs = lines_of(r, "dialog"), buffers = lines_of(r, "buffer"), menus = lines_of(r, "menu");
    ASSERT_EQ(dialogs.size(), 4u);
    ASSERT_EQ(buffers.size(), 4u);
    EXPECT_EQ(dialogs[0]["prompt"], std::string("Enter shift (Hz), gain (dB), mode:\n") + shift_modes);
    EXPECT_EQ(dialogs[0]["default"], "0 0 0");
    expect_item(menus[1], 1, "Undo Freq-Shift Selection", true);
    EXPECT_EQ(buffers[0]["hash"], buffers[1]["hash"]) << "mode 4 is not move-mix";
    EXPECT_EQ(buffers[2]["hash"], buffers[1]["hash"]) << "mode -1 is not move-mix";
    EXPECT_NE(buffers[3]["hash"], buffers[1]["hash"]) << "copy-replace made the same edit as move-mix";
}

TEST(Menu, CancelledNumberlessOrNanGainEntriesPushNothingAShiftEntryWithoutNumbersDoes)
{
    Transcript r = run_on_sound(R"(buffer snd
sendto sg 8 list 0 -1 0 -1 0 -1 0 -1
menu 5
dialog cancel
mousedown sg 10 10 context
menu 5
dialog "abc"
mousedown sg 10 10 context
menu 5
dialog ""
mousedown sg 10 10 context
menu 5
dialog "nan 0"
mousedown sg 10 10 context
menu 12
dialog cancel
mousedown sg 10 10 context
buffer snd
menu 14
mousedown sg 10 10 context
menu 12
dialog "abc"
mousedown sg 10 10 context
mousedown sg 10 10 context
)");
    ASSERT_EQ(r.status, 0) << r.err;
    auto menus = lines_of(r, "menu"), dialogs = lines_of(r, "dialog"), buffers = lines_of(r, "buffer");
    ASSERT_EQ(menus.size(), 8u);
    ASSERT_EQ(dialogs.size(), 6u);
    EXPECT_EQ(dialogs[4]["prompt"], std::string("Enter shift (semitones), gain (dB), mode:\n") + shift_modes);
    EXPECT_EQ(buffers[1]["hash"], buffers[0]["hash"]);
    expect_item(menus[5], 1, "Undo", false);
    EXPECT_TRUE(menus[5]["answer"].is_null()) << "a disabled shapes item was chosen";
    expect_item(menus[7], 1, "Undo Pitch-Shift Selection", true);
}

TEST(Menu, GainsThatNoSampleCanHoldAreRefusedWithAnError)
{
    Transcript r = run_on_sound(R"(buffer snd
sendto sg 8 list 0 -1 0 -1 0 -1 0 -1
menu 5
dialog "1000 0"
mousedown sg 10 10 context
menu 11
dialog "100 1e400"
mousedown sg 10 10 context
buffer snd
mousedown sg 10 10 context
)");
    ASSERT_EQ(r.status, 0) << r.err;
    auto menus = lines_of(r, "menu"), buffers = lines_of(r, "buffer"), console = lines_of(r, "console");
    ASSERT_EQ(buffers.size(), 2u);
    EXPECT_EQ(buffers[1]["hash"], buffers[0]["hash"]);
    ASSERT_EQ(menus.size(), 3u);
    expect_item(menus[2], 1, "Undo", false);
    std::vector<std::string> errors;
    for (auto &l : console)
        if (l["level"] == "error")
            errors.push_back(l["text"]);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("1000 dB"), std::string::npos) << errors[0];
    EXPECT_NE(errors[1].find("inf dB"), std::string::npos) << errors[1];
}
