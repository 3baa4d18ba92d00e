// Binarisation of an image read from a file.
#include "binConv.h"

#include "imageIO.h"

#include <cstddef>

namespace spotscan {

void binConv::convert(int threshold, std::string &name, image &img)
{
    imageIO::read(img, name);
    if (!img.allocated())
        return;
    unsigned char *p = img.data();
    const size_t n = static_cast<size_t>(img.getX()) * img.getY();
    for (size_t i = 0; i < n; ++i)
        p[i] = p[i] < threshold ? 0 : 255;
}

} // namespace spotscan
