// A JPEG decoded row by row, with the JPEG library's errors and warnings
// caught, and the detector's whole work on one JPEG.
#include "jpegScan.h"

#include "roiDetect.h"

#include <csetjmp> // setjmp, longjmp: the JPEG library's way back from an error
#include <jerror.h>
#include <jpeglib.h>
#include <new> // std::bad_alloc

namespace spotscan {

namespace {

// Rows asked of the library at a time: one row of blocks of the tallest
// (subsampled colour) layout.
const int batch_rows = 16;

// Our own reasons for giving up, beside the library's message codes.
const int too_many_scans = -1;
const int too_many_pixels = -2;
const int unsupported_components = -3;

struct errorTrap {
    jpeg_error_mgr mgr; // first, so that the library's pointer to it is ours
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    int scans;
    int components;
    int code;
    char text[JMSG_LENGTH_MAX];
    char warning[JMSG_LENGTH_MAX];
};

errorTrap &trap_of(j_common_ptr cinfo)
{
    return *reinterpret_cast<errorTrap *>(cinfo->err);
}

[[noreturn]] void give_up(j_common_ptr cinfo, int code)
{
    errorTrap &t = trap_of(cinfo);
    t.code = code;
    if (code >= 0)
        (*cinfo->err->format_message)(cinfo, t.text);
    std::longjmp(t.jump, 1);
}

[[noreturn]] void error_exit(j_common_ptr cinfo)
{
    give_up(cinfo, cinfo->err->msg_code);
}

// Warnings about the file's wrapping leave the image data whole; every other
// warning means data is missing or damaged, and the outlines would be wrong.
bool harmless(int code)
{
    return code == JWRN_EXTRANEOUS_DATA || code == JWRN_JFIF_MAJOR || code == JWRN_ADOBE_XFORM;
}

void emit_message(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return; // trace messages
    if (!harmless(cinfo->err->msg_code))
        give_up(cinfo, cinfo->err->msg_code);
    if (cinfo->err->num_warnings++ == 0)
        (*cinfo->err->format_message)(cinfo, trap_of(cinfo).warning);
}

void watch_scans(j_common_ptr cinfo)
{
    const int scans = reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number;
    if (scans > trap_of(cinfo).scans)
        give_up(cinfo, too_many_scans);
}

// Where the compressed bytes come from.
struct source {
    FILE *file;
    const unsigned char *data;
    size_t size;
};

// Reads the whole image into the receiver; false when the library gave up
// (the reason is in the trap). Nothing here may need destroying when the
// library jumps back, so buffers come from the library's own pools. The
// caller destroys cinfo in either case.
bool decode(j_decompress_ptr cinfo, errorTrap &trap, const source &from, const jpegLimits &limits,
            rowReceiver &to)
{
    if (setjmp(trap.jump))
        return false;
    jpeg_create_decompress(cinfo);
    cinfo->progress = &trap.progress;
    cinfo->mem->max_memory_to_use = limits.library_memory;
    if (from.file)
        jpeg_stdio_src(cinfo, from.file);
    else
        jpeg_mem_src(cinfo, from.data, static_cast<unsigned long>(from.size));
    jpeg_read_header(cinfo, TRUE);
    trap.components = cinfo->num_components;
    if (cinfo->num_components != 1 && cinfo->num_components != 3)
        give_up(reinterpret_cast<j_common_ptr>(cinfo), unsupported_components);
    if (limits.pixels > 0 &&
        static_cast<uint64_t>(cinfo->image_width) * cinfo->image_height > limits.pixels)
        give_up(reinterpret_cast<j_common_ptr>(cinfo), too_many_pixels);
    if (cinfo->num_components == 3)
        cinfo->out_color_space = JCS_RGB;
    jpeg_start_decompress(cinfo);

    const JDIMENSION w = cinfo->output_width, h = cinfo->output_height;
    const int comps = cinfo->output_components;
    JSAMPARRAY rows =
        (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                    w * static_cast<JDIMENSION>(comps), batch_rows);
    JSAMPROW blue = comps == 1 ? nullptr
                               : (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo),
                                                             JPOOL_IMAGE, w, 1)[0];
    to.size(w, h);
    while (cinfo->output_scanline < h) {
        const JDIMENSION n = jpeg_read_scanlines(cinfo, rows, batch_rows);
        for (JDIMENSION k = 0; k < n; ++k) {
            if (comps == 1) {
                to.row(rows[k]);
                continue;
            }
            const JSAMPLE *px = rows[k] + 2;
            for (JDIMENSION x = 0; x < w; ++x, px += comps)
                blue[x] = *px;
            to.row(blue);
        }
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

jpegResult read_rows(const source &from, rowReceiver &to, const jpegLimits &limits)
{
    jpegResult result;
    jpeg_decompress_struct cinfo = {};
    errorTrap trap;
    cinfo.err = jpeg_std_error(&trap.mgr);
    trap.mgr.error_exit = error_exit;
    trap.mgr.emit_message = emit_message;
    trap.progress.progress_monitor = watch_scans;
    trap.scans = limits.scans;
    trap.components = 0;
    trap.code = 0;
    trap.text[0] = trap.warning[0] = '\0';
    bool done = false;
    try {
        done = decode(&cinfo, trap, from, limits, to);
    } catch (const std::bad_alloc &) {
        trap.code = JERR_OUT_OF_MEMORY;
    }
    jpeg_destroy_decompress(&cinfo);
    if (trap.warning[0])
        result.warning = trap.warning;
    if (done)
        return result;

    switch (trap.code) {
    case JERR_OUT_OF_MEMORY:
        result.failure = jpegFailure::out_of_memory;
        result.error = "out of memory";
        break;
    case JERR_NO_BACKING_STORE:
        result.failure = jpegFailure::unsupported;
        result.error = "the image needs more than " + std::to_string(limits.library_memory >> 20) +
                       " MB to decode";
        break;
    case too_many_pixels:
        result.failure = jpegFailure::unsupported;
        result.error = "the image is larger than " + std::to_string(limits.pixels) + " pixels";
        break;
    case too_many_scans:
        result.failure = jpegFailure::unsupported;
        result.error = "the image has more than " + std::to_string(limits.scans) + " scans";
        break;
    case unsupported_components:
        result.failure = jpegFailure::unsupported;
        result.error = "the image has " + std::to_string(trap.components) + " colour components" +
                       (trap.components == 4 ? " (CMYK)" : "") +
                       "; only greyscale and colour (RGB) JPEG is read";
        break;
    default:
        result.failure = jpegFailure::corrupt;
        result.error = trap.text;
        break;
    }
    return result;
}

// Feeds decoded rows to the detector.
class detectRows : public rowReceiver {
public:
    detectRows(roiDetect &d, int threshold, lineWriter &out)
        : _d(d), _threshold(threshold), _out(out)
    {
    }
    void size(unsigned width, unsigned height) override { _d.begin(width, height, &_out); }
    void row(const unsigned char *grey) override { _d.add_row(grey, _threshold); }

private:
    roiDetect &_d;
    int _threshold;
    lineWriter &_out;
};

jpegResult detect(const source &from, int threshold, lineWriter &out, const jpegLimits &limits)
{
    jpegResult result;
    try {
        roiDetect detector;
        detectRows rows(detector, threshold, out);
        result = read_rows(from, rows, limits);
        if (result.ok())
            detector.end();
    } catch (const std::bad_alloc &) {
        result.failure = jpegFailure::out_of_memory;
        result.error = "out of memory";
    }
    if (!result.ok())
        out.discard();
    return result;
}

} // namespace

jpegResult read_jpeg_rows(FILE *file, rowReceiver &to, const jpegLimits &limits)
{
    return read_rows(source{file, nullptr, 0}, to, limits);
}

jpegResult read_jpeg_rows(const unsigned char *data, size_t size, rowReceiver &to,
                          const jpegLimits &limits)
{
    return read_rows(source{nullptr, data, size}, to, limits);
}

jpegResult detect_jpeg(FILE *file, int threshold, lineWriter &out, const jpegLimits &limits)
{
    return detect(source{file, nullptr, 0}, threshold, out, limits);
}

jpegResult detect_jpeg(const unsigned char *data, size_t size, int threshold, lineWriter &out,
                       const jpegLimits &limits)
{
    return detect(source{nullptr, data, size}, threshold, out, limits);
}

} // namespace spotscan
