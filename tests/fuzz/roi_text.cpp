// Fuzz target: the ROI record's text form and both key layouts.
#include "OXEL_roi"
#include "OXEL_roidb"
#include "fuzz_support.h"
#include "keygen.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::quiet();
    const std::string text(reinterpret_cast<const char *>(data), size);

    // Every record read writes back to text that reads as the same record.
    std::istringstream in(text);
    roidb keys("k");
    for (int n = 0; n < 100000; ++n) {
        roi r;
        in >> r;
        if (in.fail())
            break;
        std::ostringstream out;
        out << r;
        std::istringstream again(out.str());
        roi back;
        again >> back;
        fuzz::check(!again.fail() && back == r, "a record survives write and read");

        // Keys of positions in 0 to 999 decode back and are twelve characters.
        const pos4i p(r.x() % 1000, r.y() % 1000, r.z() % 1000, r.t() % 1000);
        const pos4i q(p.x() < 0 ? -p.x() : p.x(), p.y() < 0 ? -p.y() : p.y(),
                      p.z() < 0 ? -p.z() : p.z(), p.t() < 0 ? -p.t() : p.t());
        fuzz::check(decode(keygen(q)) == q, "decode inverts keygen");
        fuzz::check(keygen(q).size() == 12 && keys.keygen(q).size() == 12,
                    "keys are twelve characters");
        const std::string t_key = time_key(r.t());
        fuzz::check(keys.keygen(r).compare(0, t_key.size(), t_key) == 0 &&
                        keygen(r).compare(0, t_key.size(), t_key) == 0,
                    "both layouts begin with t");
        // Keys of any position, negative or beyond 999, decode back.
        const pos4i whole(r.x(), r.y(), r.z(), r.t());
        fuzz::check(decode(keygen(whole)) == whole, "decode inverts keygen at any size");
    }
    // Any text decodes without ending the program.
    const pos4i d = decode(text);
    (void)d;
    return 0;
}
