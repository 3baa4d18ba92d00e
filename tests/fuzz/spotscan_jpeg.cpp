// libFuzzer target: spotscan's JPEG input, decoded, labelled and traced in
// memory; the JPEG library's errors come back as results, never as an exit.
#include "spotscan_jpeg_input.h"

#include <cstdlib> // std::abort

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!spotscan_fuzz::run(data, size))
        std::abort();
    return 0;
}
