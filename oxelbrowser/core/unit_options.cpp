// The unit pass's rules, their flags and the recommended values.
#include "unit_options.h"

#include <cerrno>  // errno
#include <cmath>   // std::isfinite
#include <cstdlib> // std::strtod
#include <sstream>

const char unit_flags_usage[] =
    "[--link-ratio R] [--attach-caps C] [--stack-caps S] [--best-parent] [--recommended]";

unit_options unit_options::recommended()
{
    unit_options o;
    o.link_ratio = 0.3;
    o.attach_caps = true;
    o.cap_cover = 0.3;
    o.stack_caps = true;
    o.stack_cover = 0.5;
    o.best_parent = true;
    return o;
}

std::string unit_options::describe() const
{
    if (plain())
        return "any shared pixel links, no cap attachment, every parent";
    std::ostringstream s;
    s << "link ratio " << link_ratio;
    if (attach_caps)
        s << ", caps attached above " << cap_cover;
    else
        s << ", no cap attachment";
    if (stack_caps)
        s << ", caps stacked above " << stack_cover;
    s << (best_parent ? ", best parent only" : ", every parent");
    return s.str();
}

namespace
{

// The whole of text as a finite number.
bool number(const std::string &text, double &value)
{
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

} // namespace

bool take_unit_flags(std::vector<std::string> &args, unit_options &options, std::string &error)
{
    unit_options o = options;
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string flag = args[i], value;
        bool has_value = false;
        const size_t eq = flag.find('=');
        if (flag.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = flag.substr(eq + 1);
            flag = flag.substr(0, eq);
            has_value = true;
        }
        if (flag == "--link-ratio" || flag == "--attach-caps" || flag == "--stack-caps") {
            if (!has_value) {
                if (i + 1 >= args.size()) {
                    error = flag + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            double v = 0.0;
            if (!number(value, v)) {
                error = flag + ": not a number: " + value;
                return false;
            }
            if (flag == "--link-ratio") {
                if (v < 0.0 || v > 1.0) {
                    error = "--link-ratio must lie from 0 to 1: " + value;
                    return false;
                }
                o.link_ratio = v;
            } else {
                if (v < 0.0 || v >= 1.0) {
                    error = flag + " must lie from 0 up to 1 (not 1): " + value;
                    return false;
                }
                if (flag == "--attach-caps") {
                    o.attach_caps = true;
                    o.cap_cover = v;
                } else {
                    o.stack_caps = true;
                    o.stack_cover = v;
                }
            }
        } else if (flag == "--best-parent" || flag == "--recommended") {
            if (has_value) {
                error = flag + " takes no value";
                return false;
            }
            if (flag == "--best-parent")
                o.best_parent = true;
            else
                o = unit_options::recommended();
        } else {
            rest.push_back(args[i]);
        }
    }
    args.swap(rest);
    options = o;
    return true;
}
