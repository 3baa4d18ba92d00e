// Dataset names.
#include "dataset_name.h"

std::string dataset_name_problem(const std::string &name)
{
    if (name.empty())
        return "is empty";
    if (name == "." || name == "..")
        return "names a folder";
    for (unsigned char c : name) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f')
            return "holds white space";
        if (c == '/')
            return "holds '/'";
        if (c < 0x20 || c == 0x7f)
            return "holds a control character";
    }
    return std::string();
}
