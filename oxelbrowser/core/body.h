// The client of the outline program, and small vector helpers of the split code.
#pragma once

#include "OXEL_pos"
#include "OXEL_roi"

#include <iosfwd>
#include <list>
#include <set>
#include <string>

// The outline program: $OXELBROWSER_OUTLINEGEN when set, else the installed
// one (or, when that is missing, the one beside the running program).
std::string outline_program();

// The whole exchange with the outline program, from its start to its exit,
// must end within this time; a program still running then is killed.
const int outline_limit_ms = 60000;

// Sends a width x height pixel block (non-zero: region) to the outline
// program and returns one roi per region it found, with x and y relative to
// the block and z = t = 0. Anything wrong with the program or its answer is
// written as one line to err and gives an empty list.
std::list<roi> run_outline_program(const std::string &program, const unsigned char *canvas,
                                   int width, int height, std::ostream &err);

// The same, telling failure from a block without regions: true with the
// regions (possibly none) for a complete, valid answer, whatever the
// program's exit status; false with an empty list and one line on err for
// anything else. The answer may take at most 64 bytes a block pixel and
// 1 MiB besides.
bool run_outline_program(const std::string &program, const unsigned char *canvas, int width,
                         int height, std::ostream &err, std::list<roi> &regions,
                         int limit_ms = outline_limit_ms);

// Reads an answer of the outline program for a width x height block. Valid
// when it holds the announced number of regions, each placed inside the
// block with an outline of the digits 0 to 3 only; otherwise false and
// problem says why.
bool parse_outline_answer(const std::string &answer, int width, int height, std::list<roi> &regions,
                          std::string &problem);

std::list<roi> makeROIs(unsigned char *canvas, int width, int height);
// makeROIs for callers that must tell "no region" from "failure": false
// (regions empty) when the program or its answer failed.
bool makeROIsChecked(unsigned char *canvas, int width, int height, std::list<roi> &regions);

double inner_product(pos3d a, pos3d b);
// "x y z".
std::ostream &operator<<(std::ostream &out, pos3d p);
// The elements in set order, separated by single blanks.
std::ostream &operator<<(std::ostream &out, std::set<std::string> s);
