// Fuzz target: the selection ("info") and false-positive files.
#include "fuzz_support.h"
#include "key_files.h"

#include <set>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::quiet();
    const std::string path = fuzz::as_file(data, size, "keys.info");
    for (const char *tag : {"SELECT", "FP"}) {
        std::set<std::string> keys;
        std::ostringstream err;
        const auto result = key_files::read(path, "embryo", tag, keys, err);
        fuzz::check(result == key_files::read_result::read, "an existing file is read");
        for (const std::string &k : keys)
            fuzz::check(!k.empty() && k.find_first_of(" \t\n\r\v\f") == std::string::npos,
                        "a key is one word");
    }
    return 0;
}
