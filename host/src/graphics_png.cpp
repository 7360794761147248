// PNG files: jgraphics_image_surface_writepng and the host's own writers.
// Images are written as 8-bit straight RGBA through libpng, with a pHYs
// chunk carrying the resolution.  A file is built under a temporary name in
// its destination folder, flushed to disk and only then renamed over the
// final name, so a failed write (missing folder, full disk, unknown folder
// id) leaves any earlier file of that name untouched and no debris behind.
#include "graphics_internal.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void mh_png_error(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void mh_png_warning(png_structp, png_const_charp) {}

png_uint_32 mh_pixels_per_metre(long dpi)
{
    double ppm = std::round(double(dpi) / 0.0254);
    return ppm >= double(PNG_UINT_31_MAX) ? PNG_UINT_31_MAX : png_uint_32(ppm);
}

// Where encoded bytes go: a file, or the end of a string.
struct mh_png_sink {
    FILE *fp = nullptr;
    std::string *bytes = nullptr;
};

void mh_png_append(png_structp png, png_bytep data, png_size_t n)
{
    ((std::string *)png_get_io_ptr(png))->append((const char *)data, n);
}

void mh_png_no_flush(png_structp) {}

// Encodes the image into the sink.  `row` is scratch for one line (4 x
// width bytes).  Only plain values live in this frame, so libpng's longjmp
// on an error skips no destructor.
bool mh_png_encode(mh_png_sink sink, int width, int height, long dpi, const mh_png_row_fn &fill, uint8_t *row)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, mh_png_error, mh_png_warning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    if (sink.fp)
        png_init_io(png, sink.fp);
    else
        png_set_write_fn(png, sink.bytes, mh_png_append, mh_png_no_flush);
    // Fast deflate with the "up" filter: pictures of spectra compress nearly
    // as well as with the defaults, in a fraction of the time.
    png_set_compression_level(png, 2);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (dpi > 0) {
        png_uint_32 ppm = mh_pixels_per_metre(dpi);
        png_set_pHYs(png, info, ppm, ppm, PNG_RESOLUTION_METER);
    }
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        fill(y, row);
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Opens a new temporary file next to `fullpath`; -1 on failure.
int mh_open_temporary(const std::string &fullpath, std::string *tmppath)
{
    static std::atomic<unsigned> counter{0};
    size_t slash = fullpath.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : fullpath.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? fullpath : fullpath.substr(slash + 1);
    if (base.size() > 200)
        base.resize(200);
    for (int attempt = 0; attempt < 100; ++attempt) {
        *tmppath = folder + "." + base + ".tmp" + std::to_string(getpid()) + "-" +
                   std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
        int fd = open(tmppath->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Makes a finished rename durable; failure here loses nothing already written.
void mh_sync_folder(const std::string &fullpath)
{
    size_t slash = fullpath.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : fullpath.substr(0, slash);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

} // namespace

int mh_write_png_rows(const std::string &fullpath, int width, int height, long dpi, const mh_png_row_fn &row)
{
    if (fullpath.empty() || fullpath.back() == '/' || width <= 0 || height <= 0 || !row) {
        errno = EINVAL;
        return -1;
    }
    std::vector<uint8_t> line(size_t(width) * 4);
    std::string tmppath;
    int fd = mh_open_temporary(fullpath, &tmppath);
    if (fd < 0)
        return -1; // errno from open: the folder's permission, a full disk ...
    FILE *fp = fdopen(fd, "wb");
    if (!fp) {
        const int cause = errno;
        close(fd);
        unlink(tmppath.c_str());
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
    bool ok = step(mh_png_encode(sink, width, height, dpi, row, line.data()));
    ok = step(fflush(fp) == 0 && !ferror(fp)) && ok;
    ok = step(fsync(fd) == 0) && ok;
    ok = step(fclose(fp) == 0) && ok;
    ok = ok && step(rename(tmppath.c_str(), fullpath.c_str()) == 0);
    if (!ok) {
        unlink(tmppath.c_str());
        errno = cause;
        return -1;
    }
    mh_sync_folder(fullpath);
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
    std::vector<uint8_t> line(stride);
    mh_png_sink sink;
    sink.bytes = bytes;
    return mh_png_encode(sink, image.width, image.height, dpi,
                         [&image, stride](int y, uint8_t *row) {
                             memcpy(row, image.rgba.data() + (size_t)y * stride, stride);
                         },
                         line.data());
}

} // namespace maxhost
