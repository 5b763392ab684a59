#include "formats/png_writer.hpp"

#include <png.h>

#include <array>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "base/atomic_file.hpp"

namespace tlvx {

struct PngRowWriter::Impl {
    std::string path;
    AtomicFile file;
    int w = 0, h = 0, rows = 0;
    PngColour colour = PngColour::Rgb;
    png_structp png = nullptr;
    png_infop info = nullptr;
    bool finished = false, failed = false;
    std::string error;  // what libpng reported, with the system's reason if any

    [[noreturn]] void fail(const std::string& why) {
        failed = true;
        discard();
        // mended: the file's own "cannot write PATH: " is dropped, so a full
        // disk reads "cannot write PNG "PATH": No space left on device", once.
        const std::string again = "cannot write " + path + ": ";
        const bool repeated = why.compare(0, again.size(), again) == 0;
        throw PngError("cannot write PNG \"" + path + "\": " + (repeated ? why.substr(again.size()) : why));
    }
    // Drop the libpng state, close and remove the temporary file.
    void discard() {
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
        png = nullptr;
        info = nullptr;
        file.discard();
    }
};

namespace {

// libpng reports errors by longjmp; record the message (and errno, which a
// failed fwrite leaves behind) and jump back to the guarded call.
void on_png_error(png_structp png, png_const_charp msg) {
    int err = errno;
    auto* im = static_cast<PngRowWriter::Impl*>(png_get_error_ptr(png));
    im->error = msg ? msg : "unknown libpng error";
    if (err != 0) im->error += std::string(" (") + std::strerror(err) + ")";
    png_longjmp(png, 1);
}

void on_png_warning(png_structp, png_const_charp) {}

// libpng's output goes to the atomic file; a failed write is a libpng error.
void on_png_write(png_structp png, png_bytep data, size_t n) {
    auto* im = static_cast<PngRowWriter::Impl*>(png_get_io_ptr(png));
    // The file's error already holds the system's reason: taken as it is.
    if (!im->file.write(data, n)) {
        im->error = im->file.error();
        png_longjmp(png, 1);
    }
}

void on_png_flush(png_structp) {}

// Runs `f` (libpng calls only: nothing with a destructor may live in it) with a
// jump target for the error handler. Returns false when libpng failed.
template <class F>
bool guarded(PngRowWriter::Impl& im, F&& f) {
    errno = 0;
    if (setjmp(png_jmpbuf(im.png))) return false;
    f();
    return true;
}

}  // namespace

PngRowWriter::PngRowWriter(const std::string& path, int width, int height, PngColour colour)
    : impl_(std::make_unique<Impl>()) {
    Impl& im = *impl_;
    im.path = path;
    im.colour = colour;
    im.w = width;
    im.h = height;
    if (width <= 0 || height <= 0) im.fail("invalid size " + std::to_string(width) + "x" + std::to_string(height));

    if (!im.file.open(path)) im.fail(im.file.error());

    im.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &im, on_png_error, on_png_warning);
    if (!im.png) im.fail("cannot create the PNG writer");
    im.info = png_create_info_struct(im.png);
    if (!im.info) im.fail("cannot create the PNG header");
    bool ok = guarded(im, [&im] {
        png_set_write_fn(im.png, &im, on_png_write, on_png_flush);
        const int type = im.colour == PngColour::Rgba ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
        png_set_IHDR(im.png, im.info, static_cast<png_uint_32>(im.w), static_cast<png_uint_32>(im.h), 8, type,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(im.png, im.info);
    });
    if (!ok) im.fail(im.error);
}

PngRowWriter::~PngRowWriter() {
    if (impl_ && !impl_->finished) impl_->discard();
}

int PngRowWriter::width() const { return impl_->w; }
int PngRowWriter::height() const { return impl_->h; }

void PngRowWriter::write_row(const uint8_t* rgb) {
    Impl& im = *impl_;
    if (im.failed || im.finished) throw PngError("cannot write PNG \"" + im.path + "\": the writer is closed");
    if (im.rows >= im.h) im.fail("more than " + std::to_string(im.h) + " rows written");
    if (!guarded(im, [&im, rgb] { png_write_row(im.png, rgb); })) im.fail(im.error);
    ++im.rows;
}

void PngRowWriter::finish() {
    Impl& im = *impl_;
    if (im.failed || im.finished) throw PngError("cannot write PNG \"" + im.path + "\": the writer is closed");
    if (im.rows != im.h) im.fail("only " + std::to_string(im.rows) + " of " + std::to_string(im.h) + " rows written");
    if (!guarded(im, [&im] { png_write_end(im.png, nullptr); })) im.fail(im.error);
    png_destroy_write_struct(&im.png, &im.info);
    im.png = nullptr;
    im.info = nullptr;
    if (!im.file.commit()) im.fail(im.file.error());
    im.finished = true;
}

void write_screen_png(const Screen& screen, const std::string& path) {
    PngRowWriter out(path, kScreenW, kScreenH);
    std::array<uint8_t, kScreenW * 3> row{};
    for (int y = 0; y < kScreenH; ++y) {
        for (int x = 0; x < kScreenW; ++x) {
            const Rgb& c = screen.palette[screen.at(x, y)];
            row[static_cast<size_t>(x) * 3] = c.r;
            row[static_cast<size_t>(x) * 3 + 1] = c.g;
            row[static_cast<size_t>(x) * 3 + 2] = c.b;
        }
        out.write_row(row.data());
    }
    out.finish();
}

}  // namespace tlvx
