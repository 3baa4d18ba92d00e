// Fuzz target: the per-plane outline file, read as the browser reads each
// plane of a dataset. The first byte picks the time point and plane that
// the file's name carries.
#include "OXEL_roiio"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::quiet();
    const int t = size ? data[0] % 16 : 0;
    const int z = size ? data[0] / 16 : 0;
    char name[32];
    std::snprintf(name, sizeof name, "plane%03d-%03d.txt", t, z);
    const std::string path = fuzz::as_file(size ? data + 1 : data, size ? size - 1 : 0, name);

    iroifstream in;
    in.open(path);
    fuzz::check(!in.fail(), "the file opens");
    in.seek_roi();
    for (int records = 0; records < 1000000; ++records) {
        roi r;
        in >> r;
        if (in.fail())
            break;
        if (r.x() == 0 && r.y() == 0)
            continue;
        fuzz::check(r.t() == t && r.z() == z, "t and z come from the name");
        fuzz::check(r.x() >= -10000000 && r.x() <= 10000000 && r.y() >= -10000000 &&
                        r.y() <= 10000000,
                    "no start beyond any image");
        fuzz::check(!r.outline_ref().empty(), "an outline is a word");
    }
    // Names too short to carry t and z fail without ending the program.
    iroifstream shortname;
    shortname.open("t.txt");
    fuzz::check(shortname.fail(), "a short name fails");
    return 0;
}
