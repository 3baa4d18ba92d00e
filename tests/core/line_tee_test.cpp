// Lines of a stream passed on and collected.
#include "line_tee.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <vector>

TEST(LineTee, PassesEverythingOnAndHandsOverEachCompleteLine)
{
    std::ostringstream target;
    std::vector<std::string> lines;
    line_tee tee(target.rdbuf(), [&](const std::string &l) { lines.push_back(l); });
    std::ostream out(&tee);
    out << "Cannot open " << 42 << std::endl << "two\nthree";
    out.put('!');
    out.flush();
    EXPECT_EQ(target.str(), "Cannot open 42\ntwo\nthree!");
    EXPECT_EQ(lines, (std::vector<std::string>{"Cannot open 42", "two"}));
    out << "\n";
    EXPECT_EQ(lines.back(), "three!") << "a line is handed over once it ends";
}

TEST(LineTee, WhatTheCallbackWritesGoesOnButIsNoLine)
{
    std::ostringstream target;
    std::vector<std::string> lines;
    std::ostream *out = nullptr;
    line_tee tee(target.rdbuf(), [&](const std::string &l) {
        lines.push_back(l);
        *out << "echo\n";
    });
    std::ostream stream(&tee);
    out = &stream;
    stream << "a\nb\n";
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(target.str(), "a\nb\necho\necho\n");
}
