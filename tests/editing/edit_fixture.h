// Helpers for the editing tests: reading a buffer's samples back and
// building selections and shapes.
#pragma once

#include "specgram_fixture.h"
#include "specgram_edit.h"

#include <cmath>

class EditTest : public SpecgramTest {
protected:
    std::vector<float> samples(const std::string &name)
    {
        t_object *b = maxhost::find_buffer(name);
        std::vector<float> out;
        if (!b)
            return out;
        long n = (long)buffer_getframecount(b) * (long)buffer_getchannelcount(b);
        float *p = buffer_locksamples(b);
        if (p)
            out.assign(p, p + n);
        buffer_unlocksamples(b);
        return out;
    }
    static std::vector<float> channel(const std::vector<float> &interleaved, long channels, long c)
    {
        std::vector<float> out;
        for (size_t i = c; i < interleaved.size(); i += channels)
            out.push_back(interleaved[i]);
        return out;
    }
    // Selects time t0..t1 ms and f0..f1 Hz through the Link In list, keeping the view.
    void select(t_specgram *x, double t0, double t1, double f0, double f1)
    {
        send(x, 8, "list", {num(x->display_start), num(x->display_length), num(x->display_low),
                            num(x->display_high), num(t0), num(t1), num(f0), num(f1)});
    }
    // A closed polygon shape (time ms, frequency Hz) appended to the store.
    static void add_shape(t_specgram *x, std::vector<std::pair<double, double>> points)
    {
        long s = x->shape_count++;
        x->shape_start[s] = x->shape_point_total;
        x->shape_point_count[s] = (long)points.size();
        for (auto &p : points) {
            x->shape_points[x->shape_point_total][0] = p.first;
            x->shape_points[x->shape_point_total][1] = p.second;
            x->shape_point_total++;
        }
    }
    static double rms(const std::vector<float> &v, size_t from, size_t to)
    {
        double s = 0;
        for (size_t i = from; i < to; i++)
            s += (double)v[i] * v[i];
        return std::sqrt(s / (double)(to - from));
    }
    static float tone(long i, double hz, double sr = 48000) { return (float)(0.5 * std::sin(2 * M_PI * hz * i / sr)); }
};
