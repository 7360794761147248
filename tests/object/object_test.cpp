// spectrogram~ as a box: creation defaults and saved attributes, attribute
// clamps and their follow-ups, buffer binding and the notifications that
// keep the working copy in step with the buffer~.
#include "specgram_fixture.h"

namespace {

long attr_long(t_specgram *x, const char *name) { return (long)object_attr_getlong(x, gensym(name)); }
double attr_float(t_specgram *x, const char *name) { return object_attr_getfloat(x, gensym(name)); }

// Counts attr_modified notifications per attribute name, as a listener would.
struct t_listener {
    t_object ob;
    std::vector<std::string> *heard;
};
t_class *listener_class;
t_max_err listener_notify(t_listener *x, t_symbol *, t_symbol *msg, void *, void *data)
{
    if (msg == gensym("attr_modified"))
        x->heard->push_back(((t_symbol *)object_method((t_object *)data, gensym("getname")))->s_name);
    return 0;
}

t_listener *attach_listener(t_specgram *x, std::vector<std::string> *heard)
{
    if (!listener_class) {
        listener_class = class_new("listener", nullptr, nullptr, sizeof(t_listener), nullptr, 0);
        class_addmethod(listener_class, (method)listener_notify, "notify", A_CANT, 0);
        class_register(CLASS_NOBOX, listener_class);
    }
    t_listener *l = (t_listener *)object_alloc(listener_class);
    l->heard = heard;
    object_attach_byptr(l, x);
    return l;
}

// The host asks for help texts through the "assist" method.
void assist(t_specgram *x, long kind, long index, char *text)
{
    object_method(x, gensym("assist"), nullptr, (void *)kind, (void *)index, text);
}

} // namespace

TEST_F(SpecgramTest, ANewBoxWithoutAttributesShowsThePlaceholderWithTheDefaults)
{
    t_specgram *x = make_specgram();
    EXPECT_EQ(x->frame_count, 1);
    EXPECT_EQ(x->channel_count, 1);
    EXPECT_DOUBLE_EQ(x->sample_rate, 48000);
    EXPECT_NEAR(x->display_length, 1000.0 / 48000.0, 1e-12);
    EXPECT_DOUBLE_EQ(x->display_high, 24000);
    EXPECT_EQ(x->selection_start, 0);
    EXPECT_EQ(x->selection_high, 0);
    EXPECT_EQ(attr_long(x, "win_size"), 2048);
    EXPECT_EQ(attr_long(x, "win_zero_pad"), 1);
    EXPECT_EQ(attr_long(x, "win_overlap"), 2);
    EXPECT_EQ(attr_long(x, "win_type"), 4);
    EXPECT_EQ(attr_long(x, "mag_scale"), 1);
    EXPECT_EQ(attr_long(x, "freq_reassign"), 0);
    EXPECT_EQ(attr_long(x, "buffer_chan"), 1);
    EXPECT_EQ(attr_long(x, "time_format"), 2);
    EXPECT_EQ(attr_long(x, "textsize"), 12);
    EXPECT_EQ(attr_long(x, "edit_win_size"), 2048);
    EXPECT_DOUBLE_EQ(attr_float(x, "mag_min"), -100);
    EXPECT_DOUBLE_EQ(attr_float(x, "mag_max"), 0);
    EXPECT_DOUBLE_EQ(x->custom_color2.red, 0.361);
    EXPECT_DOUBLE_EQ(x->selection_linecolor.green, 1.0);
    EXPECT_EQ(x->freq_text, 1);
    EXPECT_DOUBLE_EQ(x->selection_linewidth, 2.0);
    EXPECT_EQ(x->box.b_firstin, (t_object *)x);
    EXPECT_DOUBLE_EQ(maxhost::box_rect((t_object *)x).width, 300);
    EXPECT_EQ(maxhost::box_inlet_count((t_object *)x), 9);
    EXPECT_EQ(maxhost::box_outlet_count((t_object *)x), 10);
    EXPECT_EQ(maxhost::attributes_of((t_object *)x).size(), 30u); // the 29 and patching_rect
    EXPECT_EQ(x->mouse_hover, 0) << "hovering reports nothing unless asked";
}

TEST_F(SpecgramTest, TheFirstViewReportIsDeferredUntilAfterConstruction)
{
    maxhost::BoxSpec spec;
    spec.maxclass = "spectrogram~";
    spec.id = "late";
    t_object *box = maxhost::box_new(patcher, spec);
    EXPECT_TRUE(messages_from((t_specgram *)box).empty());
    maxhost::pump();
    auto m = messages_from((t_specgram *)box);
    ASSERT_EQ(m.size(), 9u);
    EXPECT_EQ(m.front().outlet, 7);
    EXPECT_EQ(m.back().outlet, 8);
    EXPECT_EQ(m.back().numbers.size(), 8u);
}

TEST_F(SpecgramTest, SavedAttributesAreRestored)
{
    make_buffer("saved", 1000, 2);
    t_specgram *x = make_specgram({{"buffer_name", {sym("saved")}}, {"buffer_chan", {lng(2)}},
                                   {"win_size", {lng(1024)}}, {"mag_scale", {lng(2)}}, {"color_scheme", {lng(6)}},
                                   {"mag_min", {num(-80)}}, {"textsize", {lng(9)}},
                                   {"textcolor", {num(1), num(0), num(0), num(1)}}, {"mouse_mode", {lng(2)}}});
    EXPECT_EQ(x->buffer_name, gensym("saved"));
    EXPECT_EQ(x->buffer_chan, 2);
    EXPECT_EQ(x->mags.fft_win_size, 1024);
    EXPECT_EQ(x->mags.fft_mag_scale, 2u);
    EXPECT_EQ(x->color_scheme, 6);
    EXPECT_DOUBLE_EQ(x->mag_min, -80);
    EXPECT_EQ(x->textsize, 9);
    EXPECT_DOUBLE_EQ(x->textcolor.green, 0);
    EXPECT_EQ(x->mouse_mode, 2);
    EXPECT_EQ(x->frame_count, 48000);
    EXPECT_EQ(x->channel_count, 2);
    EXPECT_DOUBLE_EQ(x->display_length, 1000);
}

TEST_F(SpecgramTest, AnalysisAttributesClampAndReanalyseOnlyOnChange)
{
    make_buffer("a", 500);
    t_specgram *x = make_specgram({{"buffer_name", {sym("a")}}});
    long runs = x->analysis_runs;
    set_attr(x, "win_size", {lng(3000)});
    EXPECT_EQ(attr_long(x, "win_size"), 4096);
    EXPECT_EQ(x->analysis_runs, runs + 1);
    set_attr(x, "win_size", {lng(4096)});
    EXPECT_EQ(x->analysis_runs, runs + 1);
    set_attr(x, "win_zero_pad", {lng(64)}); // 4096 * 64 is over the FFT limit
    EXPECT_EQ(attr_long(x, "win_zero_pad"), 8);
    set_attr(x, "mag_scale", {lng(7)});
    EXPECT_EQ(attr_long(x, "mag_scale"), 4);
    set_attr(x, "win_type", {lng(-2)});
    EXPECT_EQ(attr_long(x, "win_type"), 0);
}

TEST_F(SpecgramTest, MagnitudeRangeStaysOrderedAndReportsBothEnds)
{
    t_specgram *x = make_specgram();
    std::vector<std::string> heard;
    t_listener *l = attach_listener(x, &heard);
    set_attr(x, "mag_min", {num(10)});
    EXPECT_DOUBLE_EQ(x->mag_min, 0);
    EXPECT_DOUBLE_EQ(x->mag_max, 10);
    std::vector<std::string> expected = {"mag_min", "mag_max", "mag_min"};
    EXPECT_EQ(heard, expected); // both touched by the swap, then the setter's own report
    set_attr(x, "mag_max", {num(500)});
    EXPECT_DOUBLE_EQ(x->mag_max, 120);
    set_attr(x, "mag_min", {num(-100)});
    set_attr(x, "mag_max", {num(-500)});
    EXPECT_DOUBLE_EQ(x->mag_min, -120);
    EXPECT_DOUBLE_EQ(x->mag_max, -100);
    object_free(l);
}

TEST_F(SpecgramTest, SchemeAndModeAreClampedAndTheCursorFollowsTheMode)
{
    t_specgram *x = make_specgram();
    set_attr(x, "color_scheme", {lng(25)});
    EXPECT_EQ(x->color_scheme, 19);
    set_attr(x, "color_scheme", {lng(-3)});
    EXPECT_EQ(x->color_scheme, 0);
    set_attr(x, "mouse_mode", {lng(7)});
    EXPECT_EQ(x->mouse_mode, 2);
    EXPECT_EQ(maxhost::box_cursor((t_object *)x), JMOUSE_CURSOR_CROSSHAIR);
    set_attr(x, "mouse_mode", {lng(1)});
    EXPECT_EQ(maxhost::box_cursor((t_object *)x), JMOUSE_CURSOR_DRAGGINGHAND);
}

// Windows' long is 32 bits: integers from the host are clamped to that range
// before they are narrowed, so 2^32 means "very large" there too, not 0.
TEST(SpecgramNarrow, IntegersBeyondThirtyTwoBitsSaturateInsteadOfWrapping)
{
    const t_atom_long two32 = (t_atom_long)1 << 32;
    EXPECT_EQ(specgram_narrow(two32), 2147483647L);
    EXPECT_EQ(specgram_narrow(two32 + 1), 2147483647L);
    EXPECT_EQ(specgram_narrow(-two32), -2147483647L - 1);
    EXPECT_EQ(specgram_narrow(-7), -7L);
    EXPECT_EQ(specgram_narrow(2147483647), 2147483647L);
}

TEST_F(SpecgramTest, EditWindowSizeNeverRepaints)
{
    make_buffer("e", 500);
    t_specgram *x = make_specgram({{"buffer_name", {sym("e")}}});
    maxhost::pump();
    t_atom v = lng(3000);
    object_attr_setvalueof(x, gensym("edit_win_size"), 1, &v);
    EXPECT_TRUE(maxhost::queue_empty());
    EXPECT_EQ(attr_long(x, "edit_win_size"), 4096);
    EXPECT_EQ(x->mags.stft_win_size, 4096);
}

TEST_F(SpecgramTest, AMissingBufferGivesThePlaceholderAndEmptiesUndo)
{
    make_buffer("real", 1000);
    t_specgram *x = make_specgram({{"buffer_name", {sym("real")}}});
    EXPECT_EQ(x->frame_count, 48000);
    x->undo_count = 1; // stands for a snapshot of "real"
    x->undo_stack[0].samples = (float *)sysmem_newptrclear(16);
    set_attr(x, "buffer_name", {sym("nothing_here")});
    EXPECT_EQ(x->frame_count, 1);
    EXPECT_DOUBLE_EQ(x->sample_rate, 48000);
    EXPECT_NEAR(x->display_length, 0.0208333, 1e-6);
    EXPECT_DOUBLE_EQ(x->display_high, 24000);
    EXPECT_EQ(x->selection_end, 0);
    EXPECT_EQ(x->undo_count, 0);
    EXPECT_EQ(x->undo_stack[0].samples, nullptr);
}

TEST_F(SpecgramTest, TheSameBufferNameDoesNothing)
{
    make_buffer("same", 1000);
    t_specgram *x = make_specgram({{"buffer_name", {sym("same")}}});
    maxhost::pump();
    long runs = x->analysis_runs;
    x->undo_count = 0;
    set_attr(x, "buffer_name", {sym("same")});
    EXPECT_EQ(x->analysis_runs, runs);
}

TEST_F(SpecgramTest, ChannelZeroIsTheMeanAndALargeChannelShowsTheLastOne)
{
    make_buffer("st", 100, 2);
    fill_buffer("st", [](long, long c) { return c == 0 ? 0.25f : 0.75f; });
    t_specgram *x = make_specgram({{"buffer_name", {sym("st")}}, {"buffer_chan", {lng(0)}}});
    EXPECT_EQ(x->buffer_chan, 0);
    EXPECT_FLOAT_EQ(x->samples[10], 0.5f);
    set_attr(x, "buffer_chan", {lng(5)});
    EXPECT_EQ(attr_long(x, "buffer_chan"), 5); // the channel asked for
    EXPECT_FLOAT_EQ(x->samples[10], 0.75f);
    long runs = x->analysis_runs;
    set_attr(x, "buffer_chan", {lng(3)}); // still the last channel shown: no new analysis
    EXPECT_EQ(x->analysis_runs, runs);
    set_attr(x, "buffer_chan", {lng(1)});
    EXPECT_FLOAT_EQ(x->samples[10], 0.25f);
}

TEST_F(SpecgramTest, AViewRemembersItsChannelWhileTheBufferHasFewer)
{
    t_object *b = make_buffer("mem", 100, 2);
    fill_buffer("mem", [](long, long c) { return c == 0 ? 0.25f : 0.75f; });
    t_specgram *x = make_specgram({{"buffer_name", {sym("mem")}}, {"buffer_chan", {lng(2)}}});
    EXPECT_FLOAT_EQ(x->samples[10], 0.75f);

    t_atom mono[] = {lng(4800), lng(1)}; // a mono sound comes in
    maxhost::send(b, 0, gensym("sizeinsamps"), 2, mono);
    maxhost::pump();
    fill_buffer("mem", [](long, long) { return 0.5f; });
    EXPECT_EQ(x->channel_count, 1);
    EXPECT_EQ(attr_long(x, "buffer_chan"), 2);
    EXPECT_FLOAT_EQ(x->samples[10], 0.5f);

    t_atom stereo[] = {lng(4800), lng(2)}; // and a stereo one again
    maxhost::send(b, 0, gensym("sizeinsamps"), 2, stereo);
    maxhost::pump();
    fill_buffer("mem", [](long, long c) { return c == 0 ? 0.125f : 0.875f; });
    EXPECT_EQ(attr_long(x, "buffer_chan"), 2);
    EXPECT_FLOAT_EQ(x->samples[10], 0.875f);
}

TEST_F(SpecgramTest, AViewUpdateDoesNotCancelAPendingRerender)
{
    make_buffer("pend", 1000);
    t_specgram *x = make_specgram({{"buffer_name", {sym("pend")}}});
    maxhost::pump(); // painted: nothing pending
    ASSERT_EQ(x->surface_dirty, 0);
    // As from "mag_min -30, select_all": the dB range asks for a new image,
    // then the selection changes only the overlays, before any paint.
    t_atom db = num(-30);
    object_attr_setvalueof(x, gensym("mag_min"), 1, &db);
    EXPECT_EQ(x->surface_dirty, 1);
    maxhost::send((t_object *)x, 0, gensym("select_all"), 0, nullptr);
    EXPECT_EQ(x->surface_dirty, 1);
    EXPECT_DOUBLE_EQ(x->selection_end, x->buffer_length_ms);
    maxhost::pump();
    EXPECT_EQ(x->surface_dirty, 0); // the paint re-rendered
}

TEST_F(SpecgramTest, AnOutsideResizeResetsTheViewAndClampsTheSelection)
{
    t_object *b = make_buffer("rs", 2000);
    t_specgram *x = make_specgram({{"buffer_name", {sym("rs")}}});
    send(x, 8, "list", {num(500), num(1000), num(100), num(20000), num(1500), num(1900), num(200), num(23000)});
    EXPECT_DOUBLE_EQ(x->display_start, 500);
    t_atom frames = lng(48000), channels = lng(1);
    t_atom args[] = {frames, channels};
    maxhost::send(b, 0, gensym("sizeinsamps"), 2, args); // now 1000 ms
    maxhost::pump();
    EXPECT_EQ(x->frame_count, 48000);
    EXPECT_DOUBLE_EQ(x->display_start, 0);
    EXPECT_DOUBLE_EQ(x->display_length, 1000);
    EXPECT_DOUBLE_EQ(x->selection_start, 1000);
    EXPECT_DOUBLE_EQ(x->selection_end, 1000);
    EXPECT_DOUBLE_EQ(x->selection_high, 23000);
}

TEST_F(SpecgramTest, TheObjectsOwnEditKeepsTheView)
{
    make_buffer("own", 1000);
    t_specgram *x = make_specgram({{"buffer_name", {sym("own")}}});
    send(x, 8, "list", {num(100), num(300), num(0), num(5000), num(150), num(200), num(100), num(200)});
    auto before = view(x);
    long runs = x->analysis_runs;
    x->self_edit_pending = 1;
    fill_buffer("own", [](long i, long) { return (float)std::sin(i * 0.05); });
    EXPECT_EQ(view(x), before);
    EXPECT_EQ(x->self_edit_pending, 0);
    EXPECT_EQ(x->analysis_runs, runs + 1);
    EXPECT_FLOAT_EQ(x->samples[100], (float)std::sin(100 * 0.05));
}

TEST_F(SpecgramTest, ABufferCreatedAfterTheBoxIsShownWhenItAppears)
{
    t_specgram *x = make_specgram({{"buffer_name", {sym("later")}}});
    EXPECT_EQ(x->frame_count, 1);
    make_buffer("later", 500);
    EXPECT_EQ(x->frame_count, 24000);
    EXPECT_DOUBLE_EQ(x->display_length, 500);
}

TEST_F(SpecgramTest, HelpTexts)
{
    t_specgram *x = make_specgram();
    char text[ASSIST_MAX_STRING_LEN] = "untouched";
    assist(x, ASSIST_INLET, 8, text);
    EXPECT_STREQ(text, "(list/message) Link In (for multi-channel viewing)");
    assist(x, ASSIST_OUTLET, 9, text);
    EXPECT_STREQ(text, "(list) Data at mouse location (time freq mag)");
    assist(x, ASSIST_OUTLET, 3, text);
    EXPECT_STREQ(text, "(float) Display High (Hz)");
    strcpy(text, "untouched");
    assist(x, ASSIST_INLET, 9, text);
    assist(x, ASSIST_OUTLET, 10, text);
    EXPECT_STREQ(text, "untouched");
}

TEST_F(SpecgramTest, SamplesThatAreNotNumbersShowAsSilenceWithOneWarning)
{
    make_buffer("bad", 500);
    fill_buffer("bad", [](long i, long) {
        if (i % 4000 == 7)
            return i % 8000 == 7 ? NAN : INFINITY;
        return (float)std::sin(i * 0.05);
    });
    maxhost::console_clear();
    t_specgram *x = make_specgram({{"buffer_name", {sym("bad")}}});
    std::vector<std::string> warnings;
    for (auto &l : maxhost::console_lines())
        if (l.level == "warning")
            warnings.push_back(l.text);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "buffer~ bad holds 6 samples that are not numbers; they show as silence");
    const int64_t cells = x->mags.num_frames * x->mags.num_bins;
    long finite = 0;
    for (int64_t i = 0; i < cells; i++)
        finite += std::isfinite(x->mags.mags_db[i]) && x->mags.mags_db[i] > -100;
    EXPECT_GT(finite, cells / 10) << "the sine still shows around the bad samples";
    t_object *b = maxhost::find_buffer("bad");
    float *p = buffer_locksamples(b);
    ASSERT_TRUE(p);
    EXPECT_TRUE(std::isnan(p[7]));
    EXPECT_TRUE(std::isinf(p[4007]));
    buffer_unlocksamples(b);
}
