// Label images as multi-page TIFF files, through libtiff.
#include "label_tiff.h"

#include <algorithm> // std::fill, std::max, std::min
#include <atomic>
#include <condition_variable>
#include <cstdarg> // va_list
#include <cstdio>  // std::vsnprintf, SEEK_SET
#include <cstring> // std::memcpy
#include <mutex>
#include <thread>
#include <libdeflate.h>
#include <tiffio.h>
#include <zlib.h>

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

std::string reason(const std::string &fallback)
{
    return last_error.empty() ? fallback : last_error;
}

// A TIFF file in memory, for encoding one strip with libtiff's own codecs.
struct memory_file {
    std::string data;
    size_t pos = 0;
};

tmsize_t memory_read(thandle_t h, void *buf, tmsize_t n)
{
    memory_file &f = *static_cast<memory_file *>(h);
    const size_t count =
        std::min(static_cast<size_t>(n), f.data.size() - std::min(f.pos, f.data.size()));
    std::memcpy(buf, f.data.data() + f.pos, count);
    f.pos += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t memory_write(thandle_t h, void *buf, tmsize_t n)
{
    memory_file &f = *static_cast<memory_file *>(h);
    if (f.data.size() < f.pos + static_cast<size_t>(n))
        f.data.resize(f.pos + static_cast<size_t>(n));
    std::memcpy(&f.data[f.pos], buf, static_cast<size_t>(n));
    f.pos += static_cast<size_t>(n);
    return n;
}

toff_t memory_seek(thandle_t h, toff_t off, int whence)
{
    memory_file &f = *static_cast<memory_file *>(h);
    if (whence == SEEK_SET)
        f.pos = static_cast<size_t>(off);
    else if (whence == SEEK_CUR)
        f.pos += static_cast<size_t>(off);
    else
        f.pos = f.data.size() + static_cast<size_t>(off);
    return f.pos;
}

int memory_close(thandle_t)
{
    return 0;
}

toff_t memory_size(thandle_t h)
{
    return static_cast<memory_file *>(h)->data.size();
}

int memory_map(thandle_t, void **, toff_t *)
{
    return 0;
}

void memory_unmap(thandle_t, void *, toff_t) {}

void set_page_fields(TIFF *tif, uint32_t width, uint32_t height, uint32_t rows_per_strip,
                     compression how)
{
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, tiff_compression(how));
    if (how == compression::deflate)
        TIFFSetField(tif, TIFFTAG_ZIPQUALITY, 1);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows_per_strip);
}

// Strips of 16 rows (at least 8 KiB): a label image is mostly background,
// and a strip of background rows is written without encoding it again.
uint32_t rows_per_strip(int width, int height)
{
    return static_cast<uint32_t>(std::max(1, std::min(height, std::max(16, 4096 / width))));
}

} // namespace

// Deflate strips encoded with zlib's fastest level, several at a time:
// libtiff encodes one strip after the other, through a library that is about
// half as fast on label images, and a label image's volume is most of an
// export's work.
struct writer::deflater {
    struct strip {
        const unsigned char *data;
        size_t bytes;
        std::string *out; // kept at its largest size; the encoding is its first *length bytes
        size_t *length;
    };

    deflater()
    {
        const unsigned threads = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
        streams.resize(threads);
        for (z_stream &zs : streams)
            deflateInit2(&zs, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        for (unsigned id = 1; id < threads; ++id)
            helpers.emplace_back([this, id] { help(id); });
    }

    ~deflater()
    {
        {
            std::lock_guard<std::mutex> lock(m);
            stop = true;
        }
        wake.notify_all();
        for (std::thread &t : helpers)
            t.join();
        for (z_stream &zs : streams)
            deflateEnd(&zs);
    }

    // Encodes every strip into its out; false if one failed.
    bool run(const std::vector<strip> &work)
    {
        {
            std::lock_guard<std::mutex> lock(m);
            job = &work;
            next = 0;
            failed = false;
            running = static_cast<unsigned>(helpers.size());
            ++generation;
        }
        wake.notify_all();
        encode(0);
        std::unique_lock<std::mutex> lock(m);
        finished.wait(lock, [this] { return running == 0; });
        job = nullptr;
        return !failed;
    }

    // A zlib stream: its header, the raw deflate data, the Adler-32 sum of
    // the strip. The sum comes from libdeflate, whose vector code takes a
    // fraction of the time zlib's own needs; zlib's fastest level encodes.
    static bool encode_one(z_stream &zs, const strip &s)
    {
        deflateReset(&zs);
        const size_t bound = deflateBound(&zs, static_cast<uLong>(s.bytes)) + 6;
        if (s.out->size() < bound)
            s.out->resize(bound);
        unsigned char *out = reinterpret_cast<unsigned char *>(&(*s.out)[0]);
        out[0] = 0x78; // deflate, 32 KiB window
        out[1] = 0x01; // fastest level; header check
        zs.next_in = const_cast<Bytef *>(s.data);
        zs.avail_in = static_cast<uInt>(s.bytes);
        zs.next_out = out + 2;
        zs.avail_out = static_cast<uInt>(s.out->size() - 6);
        if (deflate(&zs, Z_FINISH) != Z_STREAM_END)
            return false;
        const uint32_t sum = libdeflate_adler32(1, s.data, s.bytes);
        unsigned char *tail = out + 2 + zs.total_out;
        tail[0] = static_cast<unsigned char>(sum >> 24);
        tail[1] = static_cast<unsigned char>(sum >> 16);
        tail[2] = static_cast<unsigned char>(sum >> 8);
        tail[3] = static_cast<unsigned char>(sum);
        *s.length = zs.total_out + 6;
        return true;
    }

private:
    void encode(unsigned id)
    {
        const std::vector<strip> &work = *job;
        for (size_t i; (i = next.fetch_add(1)) < work.size();)
            if (!encode_one(streams[id], work[i]))
                failed = true;
    }

    void help(unsigned id)
    {
        size_t seen = 0;
        std::unique_lock<std::mutex> lock(m);
        for (;;) {
            wake.wait(lock, [&] { return stop || generation != seen; });
            if (stop)
                return;
            seen = generation;
            lock.unlock();
            encode(id);
            lock.lock();
            if (--running == 0)
                finished.notify_all();
        }
    }

    std::vector<z_stream> streams; // one per thread, the caller's first
    std::vector<std::thread> helpers;
    std::mutex m;
    std::condition_variable wake, finished;
    const std::vector<strip> *job = nullptr;
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    size_t generation = 0;
    unsigned running = 0;
    bool stop = false;
};

writer::writer() = default;

writer::~writer()
{
    if (_tif)
        TIFFClose(_tif);
}

bool writer::open(const std::string &path, int width, int height, int pages, compression how,
                  std::string &error)
{
    install_handlers();
    last_error.clear();
    if (_tif)
        TIFFClose(_tif);
    _tif = nullptr;
    if (width <= 0 || height <= 0 || pages <= 0) {
        error = "no pixels to write";
        return false;
    }
    _tif = TIFFOpen(path.c_str(), "w");
    if (!_tif) {
        error = reason("cannot open " + path);
        return false;
    }
    _path = path;
    if (width != _width)
        _background_rows[0] = _background_rows[1] = 0;
    _height = height;
    _pages = pages;
    _page = 0;
    if (how != _how || width != _width)
        _background_rows[0] = _background_rows[1] = 0;
    _how = how;
    _width = width;
    return true;
}

const std::string &writer::background_strip(uint32_t rows)
{
    for (int i = 0; i < 2; ++i)
        if (_background_rows[i] == rows)
            return _background[i];
    const int slot = _background_rows[0] == 0 ? 0 : 1;
    _background_rows[slot] = rows;
    std::string &bytes = _background[slot];
    bytes.clear();
    if (_how == compression::deflate) {
        z_stream zs{};
        deflateInit2(&zs, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        const std::vector<unsigned char> zeros(static_cast<size_t>(rows) * _width * 2, 0);
        size_t length = 0;
        if (deflater::encode_one(zs, {zeros.data(), zeros.size(), &bytes, &length}))
            bytes.resize(length);
        else
            bytes.clear();
        deflateEnd(&zs);
        return bytes;
    }
    memory_file f;
    if (TIFF *tif = TIFFClientOpen("background", "w", &f, memory_read, memory_write, memory_seek,
                                   memory_close, memory_size, memory_map, memory_unmap)) {
        std::vector<uint16_t> zeros(static_cast<size_t>(rows) * _width, 0);
        set_page_fields(tif, static_cast<uint32_t>(_width), rows, rows, _how);
        TIFFWriteEncodedStrip(tif, 0, zeros.data(), static_cast<tmsize_t>(zeros.size() * 2));
        TIFFWriteDirectory(tif);
        TIFFClose(tif);
    }
    f.pos = 0;
    // "c": the strip as written, not chopped into smaller ones for reading.
    if (TIFF *tif = TIFFClientOpen("background", "rc", &f, memory_read, memory_write, memory_seek,
                                   memory_close, memory_size, memory_map, memory_unmap)) {
        uint64_t *counts = nullptr;
        if (TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts) && counts) {
            bytes.resize(static_cast<size_t>(counts[0]));
            if (TIFFReadRawStrip(tif, 0, &bytes[0], static_cast<tmsize_t>(bytes.size())) !=
                static_cast<tmsize_t>(bytes.size()))
                bytes.clear();
        }
        TIFFClose(tif);
    }
    return bytes;
}

bool writer::write_page(uint16_t *page, std::string &error,
                        const std::vector<unsigned char> *used_rows)
{
    TIFF *tif = _tif;
    if (!tif || _page >= _pages) {
        error = "no page to write in " + _path;
        return false;
    }
    const uint32_t strip_rows = rows_per_strip(_width, _height);
    set_page_fields(tif, static_cast<uint32_t>(_width), static_cast<uint32_t>(_height), strip_rows,
                    _how);
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(_page),
                 static_cast<uint16_t>(_pages));
    const uint32_t height = static_cast<uint32_t>(_height);
    const uint32_t strips = (height + strip_rows - 1) / strip_rows;
    // Each strip: the cached encoding of background rows, or its own.
    std::vector<std::pair<const char *, size_t>> raw(strips, {nullptr, 0});
    std::vector<deflater::strip> work;
    if (_how == compression::deflate && !_deflater)
        _deflater.reset(new deflater);
    if (_encoded.size() < strips) {
        _encoded.resize(strips);
        _encoded_length.resize(strips);
    }
    for (uint32_t strip = 0; strip < strips; ++strip) {
        const uint32_t row = strip * strip_rows, rows = std::min(strip_rows, height - row);
        bool background = used_rows != nullptr;
        for (uint32_t y = row; y < row + rows && background; ++y)
            background = !(*used_rows)[y];
        if (background && !background_strip(rows).empty()) {
            const std::string &bytes = background_strip(rows);
            raw[strip] = {bytes.data(), bytes.size()};
        } else if (_how == compression::deflate) {
            work.push_back({reinterpret_cast<const unsigned char *>(page + size_t(row) * _width),
                            size_t(rows) * _width * 2, &_encoded[strip], &_encoded_length[strip]});
            raw[strip] = {nullptr, 0}; // set once encoded
        }
    }
    if (!work.empty() && !_deflater->run(work)) {
        error = "cannot encode " + _path;
        return false;
    }
    for (const deflater::strip &w : work)
        raw[static_cast<size_t>(w.length - _encoded_length.data())] = {w.out->data(), *w.length};
    for (uint32_t strip = 0; strip < strips; ++strip) {
        const uint32_t row = strip * strip_rows, rows = std::min(strip_rows, height - row);
        const bool ok =
            raw[strip].first
                ? TIFFWriteRawStrip(tif, strip, const_cast<char *>(raw[strip].first),
                                    static_cast<tmsize_t>(raw[strip].second)) >= 0
                : TIFFWriteEncodedStrip(tif, strip, page + static_cast<size_t>(row) * _width,
                                        static_cast<tmsize_t>(rows) * _width * 2) >= 0;
        if (!ok) {
            error = reason("cannot write " + _path);
            return false;
        }
    }
    if (!TIFFWriteDirectory(tif)) {
        error = reason("cannot write " + _path);
        return false;
    }
    ++_page;
    return true;
}

bool writer::close(std::string &error)
{
    if (!_tif) {
        error = "nothing to close";
        return false;
    }
    TIFF *tif = _tif;
    _tif = nullptr;
    TIFFClose(tif);
    if (_page != _pages) {
        error = _path + ": " + std::to_string(_page) + " of " + std::to_string(_pages) +
                " pages written";
        return false;
    }
    if (!last_error.empty()) {
        error = last_error;
        return false;
    }
    return true;
}

reader::~reader()
{
    if (_tif)
        TIFFClose(_tif);
}

bool reader::open(const std::string &path, std::string &error)
{
    install_handlers();
    last_error.clear();
    if (_tif)
        TIFFClose(_tif);
    _tif = TIFFOpen(path.c_str(), "r");
    _path = path;
    _pages = 0;
    _width = _height = 0;
    _more = _tif != nullptr;
    if (!_tif) {
        error = reason("cannot open " + path);
        return false;
    }
    return true;
}

bool reader::next_page(std::vector<uint32_t> &labels, std::string &error)
{
    if (!_more)
        return false;
    TIFF *tif = _tif;
    const std::string page_name = _path + ": page " + std::to_string(_pages);
    uint32_t w = 0, h = 0;
    uint16_t bits = 0, samples = 1, format = SAMPLEFORMAT_UINT;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    _more = false;
    if (samples != 1 || (bits != 8 && bits != 16 && bits != 32) ||
        (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_INT)) {
        error = page_name + " is not a label image (one unsigned sample of 8, 16 or 32 bits)";
        return false;
    }
    if (TIFFIsTiled(tif)) {
        error = _path + ": tiled images are not read; write the labels in strips";
        return false;
    }
    if (w == 0 || h == 0 || w > 65535 || h > 65535) {
        error = page_name + " has a size of " + std::to_string(w) + " x " + std::to_string(h);
        return false;
    }
    if (_pages == 0) {
        _width = static_cast<int>(w);
        _height = static_cast<int>(h);
    } else if (static_cast<int>(w) != _width || static_cast<int>(h) != _height) {
        error = page_name + " is " + std::to_string(w) + " x " + std::to_string(h) +
                ", the first " + std::to_string(_width) + " x " + std::to_string(_height);
        return false;
    }
    const size_t page_pixels = static_cast<size_t>(w) * h;
    labels.resize(page_pixels);
    uint32_t *dest = labels.data();
    const tmsize_t strip_size = TIFFStripSize(tif);
    if (strip_size <= 0) {
        error = page_name + " has no strips";
        return false;
    }
    _strip.resize(static_cast<size_t>(strip_size));
    const uint32_t strips = TIFFNumberOfStrips(tif);
    const size_t bytes = bits / 8;
    size_t done = 0; // pixels of the page filled
    for (uint32_t s = 0; s < strips && done < page_pixels; ++s) {
        tmsize_t n = TIFFReadEncodedStrip(tif, s, _strip.data(), strip_size);
        if (n < 0) {
            error = reason(page_name + " cannot be decoded");
            return false;
        }
        const size_t count = std::min(static_cast<size_t>(n) / bytes, page_pixels - done);
        const unsigned char *src = _strip.data();
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
        error = page_name + " ends early";
        return false;
    }
    ++_pages;
    last_error.clear();
    _more = TIFFReadDirectory(tif) != 0;
    if (!_more && !last_error.empty()) {
        error = _path + ": " + last_error;
        return false;
    }
    return true;
}

bool write(const std::string &path, int width, int height, int pages,
           const std::function<void(int, uint16_t *)> &fill, compression how, std::string &error)
{
    writer out;
    if (!out.open(path, width, height, pages, how, error))
        return false;
    std::vector<uint16_t> page(static_cast<size_t>(width) * height);
    for (int p = 0; p < pages; ++p) {
        std::fill(page.begin(), page.end(), 0);
        fill(p, page.data());
        if (!out.write_page(page.data(), error))
            return false;
    }
    return out.close(error);
}

bool read(const std::string &path, stack &out, std::string &error)
{
    reader in;
    if (!in.open(path, error))
        return false;
    out = stack();
    std::vector<uint32_t> page;
    error.clear();
    while (in.next_page(page, error)) {
        out.labels.insert(out.labels.end(), page.begin(), page.end());
        out.width = in.width();
        out.height = in.height();
        out.pages = in.pages();
    }
    return error.empty();
}

} // namespace label_tiff
