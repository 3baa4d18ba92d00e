// A JPEG decoded row by row, with the JPEG library's errors and warnings
// caught, and the detector's whole work on one JPEG.
#pragma once

#include "lineWriter.h"

#include <cstddef>
#include <cstdint>
#include <cstdio> // FILE
#include <string>

// The detector keeps its own small classes apart from the browser's.
namespace spotscan {

// Receives a decoded image: its size once, then every row from the top,
// one grey value per pixel (the blue component of a colour image).
class rowReceiver {
public:
    virtual ~rowReceiver() = default;
    virtual void size(unsigned width, unsigned height) = 0;
    virtual void row(const unsigned char *grey) = 0;
};

// How much a JPEG may cost before it is refused.
struct jpegLimits {
    // Memory the JPEG library may hold for one image (whole-image buffers of
    // progressive files); a file that declares more is refused.
    long library_memory = 512L << 20;
    // Declared pixels (width times height); 0: no limit.
    uint64_t pixels = 0;
    // Scans of a progressive file: many tiny scans over a large image cost
    // time without end.
    int scans = 1000;
};

// Why a JPEG was not read.
enum class jpegFailure { none, corrupt, unsupported, out_of_memory };

struct jpegResult {
    jpegFailure failure = jpegFailure::none;
    // The reason in words when the image was refused.
    std::string error;
    // The first harmless warning of the JPEG library (extraneous bytes
    // between markers and the like), which does not stop the reading.
    std::string warning;
    bool ok() const { return failure == jpegFailure::none; }
};

// Decodes the JPEG from an open file or from bytes in memory. Truncated or
// corrupt data, and anything but one (grey) or three (colour) components,
// is refused. std::bad_alloc from the receiver is caught and reported as
// out of memory.
jpegResult read_jpeg_rows(FILE *file, rowReceiver &to, const jpegLimits &limits = jpegLimits());
jpegResult read_jpeg_rows(const unsigned char *data, size_t size, rowReceiver &to,
                          const jpegLimits &limits = jpegLimits());

// The detector on one JPEG: every pixel of grey value threshold or more is an
// object pixel; the line of every 4-connected region, "x y digits", goes to
// out in row order of the regions' first pixels, each as soon as the rows
// below it have come. When the JPEG turns out damaged, what out still holds
// is dropped; pieces it has written already stay written.
jpegResult detect_jpeg(FILE *file, int threshold, lineWriter &out,
                       const jpegLimits &limits = jpegLimits());
jpegResult detect_jpeg(const unsigned char *data, size_t size, int threshold, lineWriter &out,
                       const jpegLimits &limits = jpegLimits());

} // namespace spotscan
