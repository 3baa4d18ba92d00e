// Files of ROI keys for a dataset.
#include "key_files.h"

#include "OXEL_roidb"
#include "dataset_name.h"

#include <ostream>
#include <sys/stat.h> // stat

namespace key_files {

bool write(const std::string &path, const std::string &dataset, const std::string &tag,
           const std::set<std::string> &keys, std::ostream &err)
{
    const std::string problem = dataset_name_problem(dataset);
    if (!problem.empty()) {
        err << "Cannot save " << path << ": the dataset name \"" << dataset << "\" " << problem
            << std::endl;
        return false;
    }
    text_file_writer out;
    bool done = out.open(path);
    if (done) {
        out.write_line("NAME " + dataset);
        for (const std::string &key : keys)
            out.write_line(tag + " " + key);
        done = out.commit();
    }
    if (!done) {
        err << "Cannot open " << path << std::endl;
        if (!out.problem().empty())
            err << out.problem() << std::endl;
    }
    return done;
}

read_result read(const std::string &path, const std::string &dataset, const std::string &tag,
                 std::set<std::string> &keys, std::ostream &err)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        err << "No such file or directory: " << path << std::endl;
        return read_result::missing;
    }
    roi_file_reader in;
    if (!in.open(path)) {
        err << "Cannot open " << path << std::endl;
        return read_result::unreadable;
    }
    std::string name, value;
    while (in.read_word(name) && in.read_word(value)) {
        if (name == "NAME") {
            if (value != dataset) {
                err << "different dataset" << std::endl;
                break;
            }
        } else if (name == tag) {
            keys.insert(value);
        }
    }
    return read_result::read;
}

} // namespace key_files
