// Rasterising for the plain drawing backend: filling polygons by coverage,
// turning a path into the polygons its stroke covers, and compositing
// image surfaces, all with the "over" operator on premultiplied pixels.
//
// A fill walks the pixel rows that the polygons and the clip share.  Each
// row is sampled along 16 horizontal lines; on each line the edges'
// crossings, sorted and summed by direction, give the spans inside the
// shape, and each span adds its exact length to the pixels it passes over
// (partial pixels at its ends, whole ones through a running sum).  So
// vertical edges are exact and horizontal ones are resolved to a sixteenth.
#include "graphics_plain.h"

#include <algorithm>
#include <cmath>

namespace {

struct mh_edge
{
    double x0, y0, x1, y1; // y0 < y1
    int dir;               // +1 where the polygon runs down, -1 up
    double x_at(double y) const { return x0 + (y - y0) * (x1 - x0) / (y1 - y0); }
};

// Composites premultiplied r, g, b, a (each 0..1, coverage applied) over p.
void mh_blend(uint32_t *p, t_jgraphics_format format, float r, float g, float b, float a)
{
    const float keep = 1.0f - a;
    const uint32_t d = *p;
    auto mix = [keep](float src, uint32_t dst) {
        float v = src * 255.0f + float(dst) * keep + 0.5f;
        return uint32_t(v >= 255.0f ? 255.0f : v);
    };
    if (format == JGRAPHICS_FORMAT_A8) {
        *p = mix(a, d >> 24) << 24;
        return;
    }
    uint32_t alpha = format == JGRAPHICS_FORMAT_RGB24 ? 255 : mix(a, d >> 24);
    *p = alpha << 24 | mix(r, d >> 16 & 0xff) << 16 | mix(g, d >> 8 & 0xff) << 8 | mix(b, d & 0xff);
}

// Composites the premultiplied ARGB word src over p at full coverage.
void mh_over(uint32_t *p, t_jgraphics_format format, uint32_t src)
{
    const uint32_t sa = src >> 24;
    if (sa == 0)
        return;
    if (sa == 255 && format != JGRAPHICS_FORMAT_A8) {
        *p = src;
        return;
    }
    const uint32_t d = *p, keep = 255 - sa;
    auto mix = [keep](uint32_t s, uint32_t dst) { return std::min<uint32_t>(255, s + (dst * keep + 127) / 255); };
    if (format == JGRAPHICS_FORMAT_A8) {
        *p = mix(sa, d >> 24) << 24;
        return;
    }
    uint32_t alpha = format == JGRAPHICS_FORMAT_RGB24 ? 255 : mix(sa, d >> 24);
    *p = alpha << 24 | mix(src >> 16 & 0xff, d >> 16 & 0xff) << 16 | mix(src >> 8 & 0xff, d >> 8 & 0xff) << 8 |
         mix(src & 0xff, d & 0xff);
}

// Adds the span [xa, xb) with weight w to one row's coverage: `cover`
// holds the partial pixels, `run` the steps of the running sum.
void mh_add_span(std::vector<float> &cover, std::vector<float> &run, double xa, double xb, float w, int *lo, int *hi)
{
    if (!(xb > xa))
        return;
    int i0 = int(std::floor(xa)), i1 = int(std::floor(xb));
    if (i0 == i1) {
        cover[i0] += float(xb - xa) * w;
    } else {
        cover[i0] += float(i0 + 1 - xa) * w;
        run[i0 + 1] += w;
        run[i1] -= w;
        cover[i1] += float(xb - i1) * w;
    }
    *lo = std::min(*lo, i0);
    *hi = std::max(*hi, i1);
}

// A coordinate brought within 2^23 pixels of the origin (as cairo's fixed
// point does), so that far-off points cannot overflow the edge arithmetic.
mh_point mh_bounded(mh_point p)
{
    const double limit = 8388608.0;
    return {std::clamp(p.x, -limit, limit), std::clamp(p.y, -limit, limit)};
}

std::vector<mh_edge> mh_edges(const std::vector<std::vector<mh_point>> &polygons)
{
    std::vector<mh_edge> edges;
    for (const auto &poly : polygons) {
        for (size_t i = 0; i < poly.size(); ++i) {
            mh_point p = poly[i], q = poly[(i + 1) % poly.size()];
            if (!std::isfinite(p.x + p.y + q.x + q.y))
                continue;
            p = mh_bounded(p);
            q = mh_bounded(q);
            if (p.y == q.y)
                continue;
            if (p.y < q.y)
                edges.push_back({p.x, p.y, q.x, q.y, 1});
            else
                edges.push_back({q.x, q.y, p.x, p.y, -1});
        }
    }
    std::sort(edges.begin(), edges.end(), [](const mh_edge &a, const mh_edge &b) { return a.y0 < b.y0; });
    return edges;
}

// The spans inside the shape on the line y, added to the row's coverage.
// With `snap`, a span covers the whole pixels whose centres it contains.
void mh_sample_line(const std::vector<const mh_edge *> &active, double y, double left, double right, float w,
                    bool snap, std::vector<float> &cover, std::vector<float> &run, int *lo, int *hi)
{
    thread_local std::vector<std::pair<double, int>> crossings;
    crossings.clear();
    for (const mh_edge *e : active)
        if (e->y0 <= y && y < e->y1)
            crossings.emplace_back(e->x_at(y), e->dir);
    std::sort(crossings.begin(), crossings.end());
    int winding = 0;
    for (size_t i = 0; i + 1 < crossings.size(); ++i) {
        winding += crossings[i].second;
        if (winding == 0)
            continue;
        double xa = crossings[i].first, xb = crossings[i + 1].first;
        if (snap) {
            xa = std::ceil(xa - 0.5);
            xb = std::ceil(xb - 0.5);
        }
        mh_add_span(cover, run, std::max(xa, left), std::min(xb, right), w, lo, hi);
    }
}

} // namespace

void mh_fill_polygons(t_jgraphics *g, const std::vector<std::vector<mh_point>> &polygons, bool antialias)
{
    t_jsurface *s = g->target;
    mh_box_rect c = g->clip;
    if (c.empty())
        return;
    // Without antialiasing a pixel counts when its centre is inside.
    const double left = antialias ? c.x0 : std::ceil(c.x0 - 0.5), right = antialias ? c.x1 : std::ceil(c.x1 - 0.5);
    std::vector<mh_edge> edges = mh_edges(polygons);
    if (edges.empty())
        return;
    const int lines = antialias ? 16 : 1;
    const float w = 1.0f / float(lines);
    std::vector<float> cover(size_t(s->width) + 2, 0.0f), run(size_t(s->width) + 2, 0.0f);
    const uint32_t word = mh_argb_word(t_jrgba{g->colour[0], g->colour[1], g->colour[2], g->colour[3]});
    std::vector<const mh_edge *> active;
    size_t next = 0;
    int row0 = std::max(0, int(std::floor(std::max(edges.front().y0, c.y0))));
    int row1 = std::min(s->height, int(std::ceil(c.y1)));
    for (int row = row0; row < row1; ++row) {
        while (next < edges.size() && edges[next].y0 < row + 1)
            active.push_back(&edges[next++]);
        active.erase(std::remove_if(active.begin(), active.end(), [row](const mh_edge *e) { return e->y1 <= row; }),
                     active.end());
        if (active.empty()) {
            if (next == edges.size())
                break;
            continue;
        }
        int lo = s->width, hi = -1;
        for (int k = 0; k < lines; ++k) {
            double y = row + (k + 0.5) / lines;
            if (y < c.y0 || y >= c.y1)
                continue;
            mh_sample_line(active, y, left, right, w, !antialias, cover, run, &lo, &hi);
        }
        if (hi < 0)
            continue;
        uint32_t *line = s->pixels.data() + size_t(row) * size_t(s->width);
        float acc = 0;
        for (int x = lo; x <= hi; ++x) {
            acc += run[x];
            float cov = std::min(1.0f, cover[x] + acc);
            cover[x] = run[x] = 0;
            if (x < s->width && cov >= 1.0f) {
                mh_over(line + x, s->format, word);
            } else if (x < s->width && cov > 1e-4f) {
                float a = float(g->colour[3]) * cov;
                mh_blend(line + x, s->format, float(g->colour[0]) * a, float(g->colour[1]) * a,
                         float(g->colour[2]) * a, a);
            }
        }
    }
}

namespace {

mh_point mh_add(mh_point a, mh_point b, double k)
{
    return {a.x + b.x * k, a.y + b.y * k};
}

double mh_signed_area(const std::vector<mh_point> &poly)
{
    double area = 0;
    for (size_t i = 0; i < poly.size(); ++i) {
        const mh_point &p = poly[i], &q = poly[(i + 1) % poly.size()];
        area += p.x * q.y - q.x * p.y;
    }
    return area;
}

// The unit normal of the segment a -> b (left of its direction, y down).
mh_point mh_normal(mh_point a, mh_point b)
{
    double dx = b.x - a.x, dy = b.y - a.y, len = std::hypot(dx, dy);
    return {-dy / len, dx / len};
}

// The join at v between a segment with normal n1 and the next with n2: the
// wedge on the outer side, mitred when the mitre is at most 10 half-widths.
void mh_join(std::vector<std::vector<mh_point>> *out, mh_point v, mh_point n1, mh_point n2, double hw)
{
    double cross = n1.x * n2.y - n1.y * n2.x, dot = n1.x * n2.x + n1.y * n2.y;
    if (std::fabs(cross) < 1e-12 && dot > 0)
        return; // straight on
    double side = cross > 0 ? -1 : 1;
    mh_point p1 = mh_add(v, n1, side * hw), p2 = mh_add(v, n2, side * hw);
    if (1 + dot > 0.02) { // the mitre's length is hw * sqrt(2 / (1 + dot)): at most 10 hw
        mh_point bisector{n1.x + n2.x, n1.y + n2.y};
        out->push_back({v, p1, mh_add(v, bisector, side * hw / (1 + dot)), p2});
    } else {
        out->push_back({v, p1, p2});
    }
}

// The stroke of one subpath, in user units.
void mh_stroke_subpath(std::vector<std::vector<mh_point>> *out, std::vector<mh_point> pts, bool closed, double hw)
{
    pts.erase(std::unique(pts.begin(), pts.end(),
                          [](const mh_point &a, const mh_point &b) { return a.x == b.x && a.y == b.y; }),
              pts.end());
    if (closed && pts.size() > 1 && pts.front().x == pts.back().x && pts.front().y == pts.back().y)
        pts.pop_back();
    size_t n = pts.size();
    if (n < 2)
        return;
    size_t segments = closed && n > 2 ? n : n - 1;
    std::vector<mh_point> normals(segments);
    for (size_t i = 0; i < segments; ++i) {
        mh_point a = pts[i], b = pts[(i + 1) % n], nrm = mh_normal(a, b);
        normals[i] = nrm;
        out->push_back({mh_add(a, nrm, hw), mh_add(b, nrm, hw), mh_add(b, nrm, -hw), mh_add(a, nrm, -hw)});
    }
    for (size_t i = 1; i < segments; ++i)
        mh_join(out, pts[i], normals[i - 1], normals[i], hw);
    if (segments == n)
        mh_join(out, pts[0], normals[n - 1], normals[0], hw);
}

} // namespace

std::vector<std::vector<mh_point>> mh_stroke_polygons(const t_jgraphics *g)
{
    std::vector<std::vector<mh_point>> out;
    double hw = g->line_width / 2;
    if (!(hw > 0))
        return out;
    for (const mh_subpath &sp : g->path) {
        std::vector<mh_point> user;
        for (const mh_point &p : sp.points)
            user.push_back(g->m.to_user(p));
        mh_stroke_subpath(&out, user, sp.closed, hw);
    }
    for (auto &poly : out) {
        for (mh_point &p : poly)
            p = g->m.to_device(p.x, p.y);
        if (mh_signed_area(poly) < 0)
            std::reverse(poly.begin(), poly.end());
    }
    return out;
}

namespace {

// The pixel index of coordinate v on a side of n pixels, clamped to 0..n-1.
int mh_index(double v, int n)
{
    return int(std::clamp(std::floor(v), 0.0, double(n - 1)));
}

// Pixel (x, y) of s as premultiplied floats 0..1; x and y lie within s.
void mh_texel(const t_jsurface *s, int x, int y, float *out)
{
    uint32_t p = s->pixels[size_t(y) * size_t(s->width) + size_t(x)];
    out[0] = float(p >> 16 & 0xff) / 255.0f;
    out[1] = float(p >> 8 & 0xff) / 255.0f;
    out[2] = float(p & 0xff) / 255.0f;
    out[3] = float(p >> 24) / 255.0f;
}

// The bilinear interpolation of s at (u, v).
void mh_sample(const t_jsurface *s, double u, double v, float *out)
{
    double fu = std::clamp(u - 0.5, -1.0, double(s->width)), fv = std::clamp(v - 0.5, -1.0, double(s->height));
    double x0 = std::floor(fu), y0 = std::floor(fv);
    float tx = float(fu - x0), ty = float(fv - y0);
    int xa = mh_index(x0, s->width), xb = mh_index(x0 + 1, s->width);
    int ya = mh_index(y0, s->height), yb = mh_index(y0 + 1, s->height);
    float a[4], b[4], c[4], d[4];
    mh_texel(s, xa, ya, a);
    mh_texel(s, xb, ya, b);
    mh_texel(s, xa, yb, c);
    mh_texel(s, xb, yb, d);
    for (int i = 0; i < 4; ++i)
        out[i] = (a[i] * (1 - tx) + b[i] * tx) * (1 - ty) + (c[i] * (1 - tx) + d[i] * tx) * ty;
}

// How much of the pixel [p, p + 1) lies in [lo, hi).
double mh_overlap(int p, double lo, double hi)
{
    return std::max(0.0, std::min(p + 1.0, hi) - std::max(double(p), lo));
}

} // namespace

void mh_draw_surface(t_jgraphics *g, const t_jsurface *s, double src_x, double src_y, double src_w, double src_h,
                     mh_box_rect dest, bool nearest)
{
    mh_box_rect box{std::max(dest.x0, g->clip.x0), std::max(dest.y0, g->clip.y0), std::min(dest.x1, g->clip.x1),
                    std::min(dest.y1, g->clip.y1)};
    if (box.empty() || dest.empty() || s->pixels.empty())
        return;
    t_jsurface *t = g->target;
    const double kx = src_w / (dest.x1 - dest.x0), ky = src_h / (dest.y1 - dest.y0);
    const int px0 = int(std::floor(box.x0)), px1 = int(std::ceil(box.x1));
    const int py0 = int(std::floor(box.y0)), py1 = int(std::ceil(box.y1));
    // Per target column: its coverage and, for nearest sampling, its source column.
    std::vector<float> column_cover(size_t(px1 - px0));
    std::vector<int> columns(size_t(px1 - px0));
    for (int px = px0; px < px1; ++px) {
        column_cover[size_t(px - px0)] = float(mh_overlap(px, box.x0, box.x1));
        columns[size_t(px - px0)] = mh_index(src_x + (px + 0.5 - dest.x0) * kx, s->width);
    }
    for (int py = py0; py < py1; ++py) {
        const float cy = float(mh_overlap(py, box.y0, box.y1));
        const double v = src_y + (py + 0.5 - dest.y0) * ky;
        const int src_row = mh_index(v, s->height);
        const uint32_t *src_line = s->pixels.data() + size_t(src_row) * size_t(s->width);
        uint32_t *line = t->pixels.data() + size_t(py) * size_t(t->width) + px0;
        for (size_t i = 0; i < columns.size(); ++i) {
            float cov = cy * column_cover[i], c[4];
            if (nearest && cov >= 1.0f) {
                mh_over(line + i, t->format, src_line[columns[i]]);
                continue;
            }
            if (cov <= 1e-4f)
                continue;
            if (nearest)
                mh_texel(s, columns[i], src_row, c);
            else
                mh_sample(s, src_x + (px0 + double(i) + 0.5 - dest.x0) * kx, v, c);
            mh_blend(line + i, t->format, c[0] * cov, c[1] * cov, c[2] * cov, c[3] * cov);
        }
    }
}
