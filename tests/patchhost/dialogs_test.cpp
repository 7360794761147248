// Menus, text dialogs and save dialogs: queued answers are used in order,
// a request without one is cancelled, and every request is in the
// transcript with what the object received.
#include "runner.h"

#include <gtest/gtest.h>

namespace {

// menuui's context menu, as the transcript shows it.
std::string menu_line(const char *answer)
{
    return std::string(R"({"t":"menu","items":[)"
                       R"({"id":1,"text":"Alpha","enabled":true,"checked":false},)"
                       R"({"id":2,"text":"Beta","enabled":true,"checked":true},)"
                       R"({"separator":true},)"
                       R"({"id":3,"text":"Gamma","enabled":false,"checked":false},)"
                       R"({"id":4,"text":"Rename...","enabled":true,"checked":false}],"answer":)") +
           answer + "}";
}

std::string chose(int id)
{
    return R"({"t":"outlet","box":"obj-2","outlet":0,"sel":"chose","args":[)" + std::to_string(id) + "]}";
}

std::string json_string(const std::string &s) { return Json(s).dump(); }

} // namespace

TEST(Dialogs, MenuAnswersByIdTextNoneOrNothingQueued)
{
    RunResult r = run_patch("ui.maxpat", "mousedown mu 5 6 context\n"
                                         "menu 2\n"
                                         "mousedown mu 5 6 context\n"
                                         "menu \"Beta\"\n"
                                         "mousedown mu 5 6 context\n"
                                         "menu 3\n"
                                         "mousedown mu 5 6 context\n"
                                         "menu none\n"
                                         "mousedown mu 5 6 context\n"
                                         "menu \"No such item\"\n"
                                         "mousedown mu 5 6 context\n");
    EXPECT_EQ(r.status, 0) << r.err;
    expect_lines(r.lines, {
        kUiLoaded,
        menu_line("null"), chose(0), // nothing queued: dismissed
        menu_line("2"), chose(2),
        menu_line("2"), chose(2),    // by its text
        menu_line("null"), chose(0), // a disabled item is no choice
        menu_line("null"), chose(0),
        menu_line("null"), chose(0),
    });
}

TEST(Dialogs, TextDialogAnswersAndCancels)
{
    RunResult r = run_patch("ui.maxpat", "menu \"Rename...\"\n"
                                         "dialog \"new name\"\n"
                                         "mousedown mu 5 6 context\n"
                                         "getattr mu name\n"
                                         "menu 4\n"
                                         "dialog cancel\n"
                                         "mousedown mu 5 6 context\n"
                                         "menu 4\n"
                                         "mousedown mu 5 6 context\n");
    EXPECT_EQ(r.status, 0) << r.err;
    expect_lines(r.lines, {
        kUiLoaded,
        menu_line("4"),
        chose(4),
        R"({"t":"dialog","prompt":"New name","default":"untitled","answer":"new name"})",
        R"({"t":"outlet","box":"obj-2","outlet":0,"sel":"renamed","args":["new name"]})",
        R"({"t":"attr","box":"obj-2","name":"name","value":["new name"]})",
        menu_line("4"),
        chose(4),
        R"({"t":"dialog","prompt":"New name","default":"new name","answer":null})",
        R"({"t":"outlet","box":"obj-2","outlet":0,"sel":"renamed","args":[]})",
        menu_line("4"),
        chose(4),
        R"({"t":"dialog","prompt":"New name","default":"new name","answer":null})", // nothing queued
        R"({"t":"outlet","box":"obj-2","outlet":0,"sel":"renamed","args":[]})",
    });
}

TEST(Dialogs, SaveDialogAnswersAreFullPathsOrCancel)
{
    std::string dir = scratch_dir();
    RunResult r = run_patch("ui.maxpat", ("savefile out.png\n"
                                          "send mu save\n"
                                          "savefile " + dir + "/sub/../abs.png\n"
                                          "send mu save\n"
                                          "savefile cancel\n"
                                          "send mu save\n"
                                          "send mu save\n").c_str());
    EXPECT_EQ(r.status, 0) << r.err;
    std::string rel = json_string(dir + "/out.png"), abs = json_string(dir + "/abs.png");
    expect_lines(r.lines, {
        kUiLoaded,
        R"({"t":"save","name":"picture.png","answer":)" + rel + "}", // relative to the working folder
        R"({"t":"outlet","box":"obj-2","outlet":0,"sel":"saved","args":[)" + rel + "]}",
        R"({"t":"save","name":"picture.png","answer":)" + abs + "}",
        R"({"t":"outlet","box":"obj-2","outlet":0,"sel":"saved","args":[)" + abs + "]}",
        R"({"t":"save","name":"picture.png","answer":null})",
        R"({"t":"outlet","box":"obj-2","outlet":0,"sel":"saved","args":[]})",
        R"({"t":"save","name":"picture.png","answer":null})", // nothing queued
        R"({"t":"outlet","box":"obj-2","outlet":0,"sel":"saved","args":[]})",
    });
}
