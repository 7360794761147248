// PNG files: jgraphics_image_surface_writepng and the host's own writers.
// Images are written as 8-bit straight RGBA, compressed with zlib, with a
// pHYs chunk carrying the resolution.  A file is built under a temporary name in
// its destination folder, flushed to disk and only then renamed over the
// final name, so a failed write (missing folder, full disk, unknown folder
// id) leaves any earlier file of that name untouched and no debris behind.
#include "graphics_internal.h"
#include "platform.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Where encoded bytes go: a file, or the end of a string.
struct mh_png_sink {
    FILE *fp = nullptr;
    std::string *bytes = nullptr;
};

bool mh_png_put(const mh_png_sink &sink, const uint8_t *data, size_t n)
{
    if (sink.bytes) {
        sink.bytes->append(reinterpret_cast<const char *>(data), n);
        return true;
    }
    return fwrite(data, 1, n, sink.fp) == n;
}

void mh_put_u32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// One chunk: length, type, data, CRC of type and data.
bool mh_png_chunk(const mh_png_sink &sink, const char *type, const uint8_t *data, size_t n)
{
    uint8_t head[8], tail[4];
    mh_put_u32(head, uint32_t(n));
    memcpy(head + 4, type, 4);
    uLong crc = crc32(0, head + 4, 4);
    if (n)
        crc = crc32(crc, data, uInt(n));
    mh_put_u32(tail, uint32_t(crc));
    return mh_png_put(sink, head, 8) && (n == 0 || mh_png_put(sink, data, n)) && mh_png_put(sink, tail, 4);
}

uint32_t mh_pixels_per_metre(long dpi)
{
    double ppm = std::round(double(dpi) / 0.0254);
    return ppm >= 2147483647.0 ? 2147483647u : uint32_t(ppm);
}

bool mh_png_header(const mh_png_sink &sink, int width, int height, long dpi)
{
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    uint8_t ihdr[13] = {0};
    mh_put_u32(ihdr, uint32_t(width));
    mh_put_u32(ihdr + 4, uint32_t(height));
    ihdr[8] = 8; // bits per channel
    ihdr[9] = 6; // RGBA; compression, filter and interlace methods stay 0
    if (!mh_png_put(sink, signature, 8) || !mh_png_chunk(sink, "IHDR", ihdr, 13))
        return false;
    if (dpi <= 0)
        return true;
    uint8_t phys[9];
    mh_put_u32(phys, mh_pixels_per_metre(dpi));
    mh_put_u32(phys + 4, mh_pixels_per_metre(dpi));
    phys[8] = 1; // the unit is the metre
    return mh_png_chunk(sink, "pHYs", phys, 9);
}

// Compresses what the stream holds, writing each full output buffer as an
// IDAT chunk (and the rest too when `flush` is Z_FINISH).
bool mh_png_deflate(const mh_png_sink &sink, z_stream &z, std::vector<uint8_t> &out, int flush)
{
    for (;;) {
        int rc = deflate(&z, flush);
        if (rc == Z_STREAM_ERROR)
            return false;
        size_t n = out.size() - z.avail_out;
        bool full = z.avail_out == 0;
        if (full || (flush == Z_FINISH && n > 0)) {
            if (!mh_png_chunk(sink, "IDAT", out.data(), n))
                return false;
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
        }
        if (flush == Z_FINISH ? rc == Z_STREAM_END : !full && z.avail_in == 0)
            return true;
    }
}

// Encodes the image into the sink: 8-bit RGBA, every line with the "up"
// filter and fast deflate (pictures of spectra compress nearly as well as
// with the usual defaults, in a fraction of the time).  `fill` supplies the
// lines as straight RGBA.
bool mh_png_encode(mh_png_sink sink, int width, int height, long dpi, const mh_png_row_fn &fill)
{
    const size_t stride = size_t(width) * 4;
    std::vector<uint8_t> row(stride), prev(stride, 0), line(stride + 1), out(size_t(1) << 16);
    z_stream z{};
    if (deflateInit(&z, 2) != Z_OK)
        return false;
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    bool ok = mh_png_header(sink, width, height, dpi);
    line[0] = 2; // the "up" filter
    for (int y = 0; ok && y < height; ++y) {
        fill(y, row.data());
        for (size_t i = 0; i < stride; ++i)
            line[i + 1] = uint8_t(row[i] - prev[i]);
        row.swap(prev);
        z.next_in = line.data();
        z.avail_in = uInt(line.size());
        ok = mh_png_deflate(sink, z, out, Z_NO_FLUSH);
    }
    ok = ok && mh_png_deflate(sink, z, out, Z_FINISH);
    deflateEnd(&z);
    return ok && mh_png_chunk(sink, "IEND", nullptr, 0);
}

} // namespace

int mh_write_png_rows(const std::string &fullpath, int width, int height, long dpi, const mh_png_row_fn &row)
{
    if (fullpath.empty() || fullpath.back() == '/' || width <= 0 || height <= 0 || !row) {
        errno = EINVAL;
        return -1;
    }
    std::string tmppath;
    int fd = mh_temp_file_beside(fullpath, &tmppath);
    if (fd < 0)
        return -1; // errno from open: the folder's permission, a full disk ...
    FILE *fp = fdopen(fd, "wb");
    if (!fp) {
        const int cause = errno;
        close(fd);
        mh_remove_file(tmppath);
        errno = cause;
        return -1;
    }
    // errno keeps the first failure's cause, for the caller's message.
    mh_png_sink sink;
    sink.fp = fp;
    int cause = 0;
    auto step = [&cause](bool ok) {
        if (!ok && !cause)
            cause = errno ? errno : EIO;
        return ok;
    };
    errno = 0;
    bool ok = step(mh_png_encode(sink, width, height, dpi, row));
    ok = step(fflush(fp) == 0 && !ferror(fp)) && ok;
    ok = step(mh_sync_file(fd)) && ok;
    ok = step(fclose(fp) == 0) && ok;
    ok = ok && step(mh_replace_file(tmppath, fullpath));
    if (!ok) {
        mh_remove_file(tmppath);
        errno = cause;
        return -1;
    }
    return 0;
}

int mh_write_png_file(t_jsurface *s, const std::string &fullpath, long dpi)
{
    if (!s)
        return -1;
    return mh_write_png_rows(fullpath, jgraphics_image_surface_get_width(s), jgraphics_image_surface_get_height(s),
                             dpi, [s](int y, uint8_t *row) { mh_surface_row_rgba(s, y, row); });
}

int mh_write_png_rgba(const uint8_t *rgba, int width, int height, const std::string &fullpath, long dpi)
{
    if (!rgba)
        return -1;
    size_t stride = size_t(width > 0 ? width : 0) * 4;
    return mh_write_png_rows(fullpath, width, height, dpi, [rgba, stride](int y, uint8_t *row) {
        std::copy(rgba + size_t(y) * stride, rgba + size_t(y + 1) * stride, row);
    });
}

t_max_err jgraphics_image_surface_writepng(t_jsurface *surface, const char *filename, short path, long dpi)
{
    if (!surface || !filename || !*filename)
        return MAX_ERR_GENERIC;
    std::string name(filename);
    if (name == "." || name == "..")
        return MAX_ERR_GENERIC;
    std::string folder;
    if (!mh_path_folder(path, &folder) || folder.empty())
        return MAX_ERR_GENERIC;
    std::string fullpath = folder.back() == '/' ? folder + name : folder + "/" + name;
    return mh_write_png_file(surface, fullpath, dpi) == 0 ? MAX_ERR_NONE : MAX_ERR_GENERIC;
}

namespace maxhost {

bool encode_png(const Image &image, std::string *bytes, long dpi)
{
    if (!bytes || image.width < 1 || image.height < 1 ||
        image.rgba.size() < (size_t)image.width * (size_t)image.height * 4)
        return false;
    bytes->clear();
    const size_t stride = (size_t)image.width * 4;
    mh_png_sink sink;
    sink.bytes = bytes;
    return mh_png_encode(sink, image.width, image.height, dpi,
                         [&image, stride](int y, uint8_t *row) {
                             memcpy(row, image.rgba.data() + (size_t)y * stride, stride);
                         });
}

} // namespace maxhost
