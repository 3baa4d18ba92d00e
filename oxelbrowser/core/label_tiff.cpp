// Label images as multi-page TIFF files, through libtiff.
#include "label_tiff.h"

#include <algorithm> // std::fill, std::max, std::min
#include <cstdarg>   // va_list
#include <cstdio>    // std::vsnprintf
#include <tiffio.h>

namespace label_tiff
{

namespace
{

// libtiff reports through process-wide handlers; the last error of this
// thread is kept for the caller's message, warnings (unknown tags and the
// like) are not faults of a label image.
thread_local std::string last_error;

void on_error(const char *, const char *fmt, va_list ap)
{
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    last_error = buf;
}

void on_warning(const char *, const char *, va_list) {}

void install_handlers()
{
    static const bool installed = [] {
        TIFFSetErrorHandler(on_error);
        TIFFSetWarningHandler(on_warning);
        return true;
    }();
    (void)installed;
}

uint16_t tiff_compression(compression how)
{
    switch (how) {
    case compression::packbits:
        return COMPRESSION_PACKBITS;
    case compression::deflate:
        return COMPRESSION_ADOBE_DEFLATE;
    case compression::lzw:
        return COMPRESSION_LZW;
    case compression::none:
        break;
    }
    return COMPRESSION_NONE;
}

struct closer {
    TIFF *tif;
    ~closer()
    {
        if (tif)
            TIFFClose(tif);
    }
};

} // namespace

bool write(const std::string &path, int width, int height, int pages,
           const std::function<void(int, uint16_t *)> &fill, compression how, std::string &error)
{
    install_handlers();
    last_error.clear();
    if (width <= 0 || height <= 0 || pages <= 0) {
        error = "no pixels to write";
        return false;
    }
    closer file{TIFFOpen(path.c_str(), "w")};
    if (!file.tif) {
        error = last_error.empty() ? "cannot open " + path : last_error;
        return false;
    }
    const size_t page_pixels = static_cast<size_t>(width) * height;
    std::vector<uint16_t> page(page_pixels);
    // Strips of about 256 KiB: large enough to compress well, small enough
    // for any reader.
    const uint32_t rows_per_strip =
        static_cast<uint32_t>(std::max(1, std::min(height, (1 << 17) / width)));
    for (int p = 0; p < pages; ++p) {
        std::fill(page.begin(), page.end(), 0);
        fill(p, page.data());
        TIFF *tif = file.tif;
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, tiff_compression(how));
        if (how == compression::deflate)
            TIFFSetField(tif, TIFFTAG_ZIPQUALITY, 1);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows_per_strip);
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(p),
                     static_cast<uint16_t>(pages));
        for (uint32_t row = 0, strip = 0; row < static_cast<uint32_t>(height);
             row += rows_per_strip, ++strip) {
            const uint32_t rows = std::min(rows_per_strip, static_cast<uint32_t>(height) - row);
            if (TIFFWriteEncodedStrip(tif, strip, page.data() + static_cast<size_t>(row) * width,
                                      static_cast<tmsize_t>(rows) * width * 2) < 0) {
                error = last_error.empty() ? "cannot write " + path : last_error;
                return false;
            }
        }
        if (!TIFFWriteDirectory(tif)) {
            error = last_error.empty() ? "cannot write " + path : last_error;
            return false;
        }
    }
    TIFF *tif = file.tif;
    file.tif = nullptr;
    TIFFClose(tif);
    if (!last_error.empty()) {
        error = last_error;
        return false;
    }
    return true;
}

bool read(const std::string &path, stack &out, std::string &error)
{
    install_handlers();
    last_error.clear();
    closer file{TIFFOpen(path.c_str(), "r")};
    if (!file.tif) {
        error = last_error.empty() ? "cannot open " + path : last_error;
        return false;
    }
    TIFF *tif = file.tif;
    out = stack();
    std::vector<unsigned char> strip_buf;
    do {
        uint32_t w = 0, h = 0;
        uint16_t bits = 0, samples = 1, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
        TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
        if (samples != 1 || (bits != 8 && bits != 16 && bits != 32) ||
            (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_INT)) {
            error = path + ": page " + std::to_string(out.pages) +
                    " is not a label image (one unsigned sample of 8, 16 or 32 bits)";
            return false;
        }
        if (TIFFIsTiled(tif)) {
            error = path + ": tiled images are not read; write the labels in strips";
            return false;
        }
        if (w == 0 || h == 0 || w > 65535 || h > 65535) {
            error = path + ": page " + std::to_string(out.pages) + " has a size of " +
                    std::to_string(w) + " x " + std::to_string(h);
            return false;
        }
        if (out.pages == 0) {
            out.width = static_cast<int>(w);
            out.height = static_cast<int>(h);
        } else if (static_cast<int>(w) != out.width || static_cast<int>(h) != out.height) {
            error = path + ": page " + std::to_string(out.pages) + " is " + std::to_string(w) +
                    " x " + std::to_string(h) + ", the first " + std::to_string(out.width) + " x " +
                    std::to_string(out.height);
            return false;
        }
        const size_t page_pixels = static_cast<size_t>(w) * h;
        out.labels.resize(out.labels.size() + page_pixels);
        uint32_t *dest = out.labels.data() + static_cast<size_t>(out.pages) * page_pixels;
        const tmsize_t strip_size = TIFFStripSize(tif);
        strip_buf.resize(static_cast<size_t>(strip_size));
        const uint32_t strips = TIFFNumberOfStrips(tif);
        const size_t bytes = bits / 8;
        size_t done = 0; // pixels of the page filled
        for (uint32_t s = 0; s < strips && done < page_pixels; ++s) {
            tmsize_t n = TIFFReadEncodedStrip(tif, s, strip_buf.data(), strip_size);
            if (n < 0) {
                error = last_error.empty()
                            ? path + ": cannot decode page " + std::to_string(out.pages)
                            : last_error;
                return false;
            }
            size_t count = std::min(static_cast<size_t>(n) / bytes, page_pixels - done);
            const unsigned char *src = strip_buf.data();
            if (bits == 8) {
                for (size_t i = 0; i < count; ++i)
                    dest[done + i] = src[i];
            } else if (bits == 16) {
                const uint16_t *s16 = reinterpret_cast<const uint16_t *>(src);
                for (size_t i = 0; i < count; ++i)
                    dest[done + i] = s16[i];
            } else {
                const uint32_t *s32 = reinterpret_cast<const uint32_t *>(src);
                for (size_t i = 0; i < count; ++i)
                    dest[done + i] = s32[i];
            }
            done += count;
        }
        if (done < page_pixels) {
            error = path + ": page " + std::to_string(out.pages) + " ends early";
            return false;
        }
        ++out.pages;
    } while (TIFFReadDirectory(tif));
    if (!last_error.empty()) {
        error = path + ": " + last_error;
        return false;
    }
    return true;
}

} // namespace label_tiff
