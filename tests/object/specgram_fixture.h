// Test fixture for spectrogram~ in the stand-in host: a patcher, buffer~
// boxes filled through the SDK calls, spectrogram~ boxes, and a record of
// every outlet message.  Tests read the object record directly (the plug-in
// is loaded into the test process, so the box is the t_specgram).
#pragma once

#include "maxhost.h"
#include "specgram.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

struct OutletMessage {
    t_object *box;
    long outlet;
    std::string selector;
    std::vector<double> numbers;
    int depth; // deliveries under way when it left (0: not sent from inside another message)
};

class SpecgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string err;
        ASSERT_TRUE(maxhost::load_external("spectrogram~", &err)) << err;
        patcher = maxhost::patcher_new("");
        maxhost::set_outlet_hook([this](t_object *box, long outlet, t_symbol *s, long argc, const t_atom *argv) {
            OutletMessage m{box, outlet, s->s_name, {}, maxhost::delivery_depth()};
            for (long i = 0; i < argc; i++)
                m.numbers.push_back(atom_getfloat(argv + i));
            sent.push_back(m);
        });
        maxhost::console_clear();
    }
    void TearDown() override
    {
        maxhost::patcher_free(patcher);
        maxhost::set_outlet_hook(nullptr);
        maxhost::pump();
    }

    static t_atom sym(const char *s)
    {
        t_atom a;
        atom_setsym(&a, gensym(s));
        return a;
    }
    static t_atom num(double f)
    {
        t_atom a;
        atom_setfloat(&a, f);
        return a;
    }
    static t_atom lng(long n)
    {
        t_atom a;
        atom_setlong(&a, n);
        return a;
    }

    // A buffer~ NAME of `ms` milliseconds and `channels` channels at `sr` Hz.
    t_object *make_buffer(const std::string &name, double ms, long channels = 1, double sr = 48000)
    {
        maxhost::BoxSpec spec;
        spec.maxclass = "newobj";
        spec.text = "buffer~ " + name + " " + std::to_string(ms) + " " + std::to_string(channels);
        spec.id = "buf-" + name;
        t_object *box = maxhost::box_new(patcher, spec);
        if (sr != 48000) {
            t_atom a = num(sr);
            maxhost::send(box, 0, gensym("sr"), 1, &a);
        }
        maxhost::pump();
        return box;
    }

    // Writes fn(frame, channel) into every sample of the buffer and marks it dirty.
    void fill_buffer(const std::string &name, const std::function<float(long, long)> &fn)
    {
        t_object *b = maxhost::find_buffer(name);
        ASSERT_TRUE(b);
        long frames = (long)buffer_getframecount(b), channels = (long)buffer_getchannelcount(b);
        float *p = buffer_locksamples(b);
        ASSERT_TRUE(p);
        for (long i = 0; i < frames; i++)
            for (long c = 0; c < channels; c++)
                p[i * channels + c] = fn(i, c);
        buffer_setdirty(b);
        buffer_unlocksamples(b);
        maxhost::pump();
    }

    t_specgram *make_specgram(std::vector<std::pair<std::string, maxhost::Atoms>> attrs = {},
                              const std::string &id = "sg", double w = 300, double h = 100)
    {
        maxhost::BoxSpec spec;
        spec.maxclass = "spectrogram~";
        spec.id = id;
        spec.rect = {0, 0, w, h};
        spec.attrs = attrs;
        t_object *box = maxhost::box_new(patcher, spec);
        EXPECT_FALSE(maxhost::box_is_placeholder(box));
        maxhost::pump();
        return (t_specgram *)box;
    }

    void send(t_specgram *x, long inlet, const char *sel, std::vector<t_atom> args = {})
    {
        maxhost::send((t_object *)x, inlet, gensym(sel), (long)args.size(), args.data());
        maxhost::pump();
    }
    void send_float(t_specgram *x, long inlet, double v) { send(x, inlet, "float", {num(v)}); }

    void set_attr(t_specgram *x, const char *name, std::vector<t_atom> value)
    {
        object_attr_setvalueof(x, gensym(name), (long)value.size(), value.data());
        maxhost::pump();
    }

    static std::vector<double> view(const t_specgram *x)
    {
        return {x->display_start, x->display_length, x->display_low, x->display_high,
                x->selection_start, x->selection_end, x->selection_low, x->selection_high};
    }

    std::vector<OutletMessage> messages_from(t_specgram *x)
    {
        std::vector<OutletMessage> out;
        for (auto &m : sent)
            if (m.box == (t_object *)x)
                out.push_back(m);
        return out;
    }

    t_object *patcher = nullptr;
    std::vector<OutletMessage> sent;
};
