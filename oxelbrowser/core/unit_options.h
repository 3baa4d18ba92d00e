// The rules of the automatic unit pass that the user may choose: link ratio,
// cap attachment, cap stacking and best parent only, their command-line flags and the
// values recommended for packed cells. The defaults give the plain pass.
#pragma once

#include <string>
#include <vector>

struct unit_options {
    // Link a unit to one of the time point before only when their shared
    // pixels, summed over planes, exceed this fraction of the smaller unit's
    // pixels; 0 links on any shared pixel.
    double link_ratio = 0.0;
    // After a time point's units are made, a unit of one or two ROIs joins
    // the unit of three or more whose member on a neighbouring plane covers
    // more than cap_cover of its pixels and that holds no ROI on the cap's
    // own planes.
    bool attach_caps = false;
    double cap_cover = 0.5;
    // Then the units of one or two ROIs still on their own join each other
    // where a ROI of one, on the plane next to a ROI of the other, covers
    // more than stack_cover of the smaller of the two; with cap attachment,
    // the small units left then attach again, also across one plane that
    // the unit they join lacks where another ROI covers them.
    bool stack_caps = false;
    double stack_cover = 0.5;
    // A unit keeps only the parent links whose shared pixels are at least
    // half of its best parent's.
    bool best_parent = false;

    // The values documented for packed cells (docs/curation.md).
    static unit_options recommended();
    // Whether every rule is off, so that the pass is the plain one.
    bool plain() const { return link_ratio == 0.0 && !attach_caps && !stack_caps && !best_parent; }
    // One line naming the rules in force, for trace lines and reports.
    std::string describe() const;

    bool operator==(const unit_options &o) const
    {
        return link_ratio == o.link_ratio && attach_caps == o.attach_caps &&
               cap_cover == o.cap_cover && stack_caps == o.stack_caps &&
               stack_cover == o.stack_cover && best_parent == o.best_parent;
    }
    bool operator!=(const unit_options &o) const { return !(*this == o); }
};

// The flags' usage text: "[--link-ratio R] [--attach-caps C] [--stack-caps S]
// [--best-parent] [--recommended]".
extern const char unit_flags_usage[];

// Takes the unit flags out of args, applying them to options in the order
// given (--recommended sets every rule; flags after it change one).
// False, with a message in error and options unchanged, on a flag without
// its value, a value that is not a number or lies outside its range (the
// link ratio 0 to 1, the cap and stack covers 0 up to but not including 1).
bool take_unit_flags(std::vector<std::string> &args, unit_options &options, std::string &error);
